#include "archive/brwl_compress.h"

#include <algorithm>
#include <stdexcept>

#include "archive/archive_names.h"
#include "archive/brwl_compress_common.h"
#include "archive/machine_file_stream.h"
#include "archive/member_inflater.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "framework/application.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/target_directory.h"

// The component's common parts: properties, the header list and its
// statistics, opening files and disk files, and the disk-full step. Adding,
// extracting and splitting live in brwl_compress_add.cc,
// brwl_compress_extract.cc and brwl_compress_split.cc.

namespace brimwell {

using namespace brwl_compress;

int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case colNone:
      return 0;
    case colFastest:
      return 1;
    case colDefault:
      return kZlibDefaultLevel;
    case colMax:
      return kZlibBestLevel;
  }
  return kZlibBestLevel;
}

const ClassInfo& TBrwlCompress::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TBrwlCompress>("TBrwlCompress", &TComponent::StaticClassInfo())
          .Creatable()
          .Property("Abort", &TBrwlCompress::Abort, &TBrwlCompress::SetAbort, false)
          .Property("CompressedFile", &TBrwlCompress::CompressedFile,
                    &TBrwlCompress::SetCompressedFile, std::string())
          .Enum("CompressionLevel", kCompressionLevelInfo, &TBrwlCompress::CompressionLevel,
                &TBrwlCompress::SetCompressionLevel, colMax)
          .Property("ExtractDirectory", &TBrwlCompress::ExtractDirectory,
                    &TBrwlCompress::SetExtractDirectory, std::string())
          .Property("FilesToProcess", &TBrwlCompress::FilesToProcessLines,
                    &TBrwlCompress::SetFilesToProcessLines)
          .Property("Offset", &TBrwlCompress::Offset, &TBrwlCompress::SetOffset, 0)
          .Enum("Overwrite", kOverwriteTypeInfo, &TBrwlCompress::Overwrite,
                &TBrwlCompress::SetOverwrite, owAlways)
          .Build();
  return info;
}

TBrwlCompress::TBrwlCompress(TComponent* owner) : TComponent(owner) {}
TBrwlCompress::~TBrwlCompress() = default;

void TBrwlCompress::SetServices(ArchiveServices services) {
  services_ = std::move(services);
  own_versions_.reset();
}

Machine& TBrwlCompress::machine() const {
  if (services_.machine == nullptr) throw std::logic_error("TBrwlCompress has no machine");
  return *services_.machine;
}

TVersionResource& TBrwlCompress::versions() {
  if (services_.versions != nullptr) return *services_.versions;
  if (!own_versions_) own_versions_ = std::make_unique<TVersionResource>(nullptr, machine());
  return *own_versions_;
}

std::string TBrwlCompress::Message(std::string_view format,
                                   std::initializer_list<FormatArg> args) const {
  std::string translated = services_.translate ? services_.translate(format) : std::string(format);
  return Format(translated, args);
}

void TBrwlCompress::Fail(std::string_view format, std::initializer_list<FormatArg> args) const {
  throw EBrwlCompress(Message(format, args));
}

void TBrwlCompress::ProcessMessages() {
  if (services_.application != nullptr) services_.application->ProcessMessages();
}

// --- properties -----------------------------------------------------------------

void TBrwlCompress::SetCompressedFile(const std::string& name) {
  if (SameText(name, compressed_file_)) return;
  if (headers_loaded_ && !SameArchiveSet(name, compressed_file_)) {
    headers_loaded_ = false;
    headers_.Clear();
    ids_.Clear();
    names_.Clear();
  }
  ReleaseHeld();  // kept open for the next extraction from the old name
  compressed_file_ = name;
}

void TBrwlCompress::SetFilesToProcess(const TStringList& files) {
  TStringList kept;
  for (const std::string& line : files) {
    if (!IsBlankFileName(line)) kept.Add(line);
  }
  files_to_process_ = std::move(kept);
}

void TBrwlCompress::SetFilesToProcessLines(const std::vector<std::string>& lines) {
  SetFilesToProcess(TStringList(lines));
}

// --- headers and statistics ------------------------------------------------------

std::unique_ptr<ArchiveStream> TBrwlCompress::OpenFile(const std::string& path, bool write,
                                                       bool create) {
  WinResult<std::unique_ptr<File>> file = WinResult<std::unique_ptr<File>>::Error(kErrorFileNotFound);
  try {
    // A file to be made anew is emptied only under the lock: truncating at
    // the open would cut the archive another writer is still writing.
    file = machine().GetFileSystem().Open(path, write ? FileAccess::kReadWrite : FileAccess::kRead,
                                          kShareReadWrite,
                                          create ? FileDisposition::kOpenAlways : FileDisposition::kOpenExisting);
  } catch (const EPlatformError&) {
    return nullptr;  // a path the machine cannot map opens nothing
  }
  if (!file) return nullptr;
  if (!(*file)->Lock(write, kArchiveLockWaitMs)) Fail(kArchiveInUse, {path});
  if (create && (!(*file)->Seek(0, SeekOrigin::kBegin) || !(*file)->SetEndOfFile())) return nullptr;
  return std::make_unique<MachineFileStream>(std::move(*file));
}

void TBrwlCompress::LoadHeaders() {
  std::unique_ptr<ArchiveStream> archive = OpenFile(compressed_file_, false, false);
  if (!archive) Fail(kCannotOpenCompressedFile, {compressed_file_});
  headers_loaded_ = false;
  totals_valid_ = false;
  headers_.Clear();
  ids_.Clear();
  names_.Clear();
  ArchiveDirectory dir;
  try {
    dir = ReadArchiveDirectory(*archive, offset_);
  } catch (const EBrwlCompress&) {
    Fail(kCouldNotReadHeaders);  // every reading fault is reported as a corrupt archive
  }
  multi_volume_ = dir.prologue.MultiVolume;
  headers_.Reserve(dir.headers.size());
  for (TFileHeader& h : dir.headers) headers_.Add(std::move(h), true);
  for (int i = 0; i < headers_.Count(); ++i) {
    ids_.Set(headers_[i].header.FileID, i);
    names_.Add(headers_[i].header.FileName, i);
  }
  headers_loaded_ = true;
}

void TBrwlCompress::LoadHeadersIfNeeded() {
  if (!headers_loaded_) LoadHeaders();
}

void TBrwlCompress::ComputeTotals() {
  // The sums over headers loaded from the archive are kept until they are
  // loaded again: an extraction of one member each would otherwise add up
  // every header once per member. Headers being added change as they go.
  if (!totals_valid_ || !headers_loaded_ || state_ == State::kCompressing) {
    total_size_ = 0;
    total_compressed_ = 0;
    for (const TFileHeaders::Entry& e : headers_) {
      total_size_ += e.header.FileSize;
      total_compressed_ += e.header.CompressedSize;
    }
    totals_valid_ = headers_loaded_ && state_ != State::kCompressing;
  }
  stats_.TotalSize = total_size_;
  stats_.TotalCompressed = total_compressed_;
  stats_.TotalRatio = Ratio(stats_.TotalCompressed, stats_.TotalSize);
  stats_.TotalBytesDone = 0;
  stats_.TotalPercent = 0;
}

void TBrwlCompress::FillStats(const TFileHeader& header) {
  stats_.FileName = header.FileName;
  stats_.FileSize = header.FileSize;
  stats_.CompressedSize = header.CompressedSize;
  stats_.Ratio = Ratio(header.CompressedSize, header.FileSize);
  stats_.Header = header;
  stats_.FilePercent = 0;
  stats_.BytesDone = 0;
  stats_.FileDone = false;
}

int TBrwlCompress::FileCount() {
  if (state_ != State::kCompressing) LoadHeadersIfNeeded();
  return headers_.Count();
}

TlzhFileStats TBrwlCompress::GetFileStats(int index) {
  if (state_ != State::kCompressing) LoadHeadersIfNeeded();
  if (index < 0 || index >= headers_.Count()) Fail(kFileNotDefined, {index});
  ComputeTotals();
  FillStats(headers_[index].header);
  return stats_;
}

int TBrwlCompress::IndexOfFileName(std::string_view name) {
  LoadHeadersIfNeeded();
  return names_.Find(name);
}

int TBrwlCompress::IndexOfFileID(std::int32_t file_id) {
  LoadHeadersIfNeeded();
  return ids_.Lookup(file_id);
}

const TFileHeader& TBrwlCompress::GetFileHeaders(int index) const {
  if (index < 0 || index >= headers_.Count()) Fail(kInvalidHeaderIndex, {index});
  return headers_[index].header;
}

// --- writing helpers --------------------------------------------------------------

void TBrwlCompress::WriteOrDiskFull(ArchiveStream& out, std::span<const std::uint8_t> data) {
  std::size_t done = out.WriteFully(data);
  if (done == data.size()) return;
  // The disk-full step: a handler may make room, after which the rest is
  // tried once more; without one, or when it is still short, the write fails.
  if (OnFullDisk) {
    OnFullDisk(*this);
    done += out.WriteFully(data.subspan(done));
    if (done == data.size()) return;
  }
  throw EbcDiskFull(Message(kDiskFull, {}));
}

std::unique_ptr<ArchiveStream> TBrwlCompress::OpenDiskFile(int disk, bool write) {
  return OpenDiskFileAt(multi_volume_ ? DiskFileName(compressed_file_, disk) : compressed_file_,
                        disk, write, multi_volume_);
}

std::unique_ptr<ArchiveStream> TBrwlCompress::OpenDiskFileAt(std::string name, int disk, bool write,
                                                             bool rename_archive) {
  FileSystem& fs = machine().GetFileSystem();
  auto exists = [&](const std::string& path) {
    try {
      return fs.FileExists(path);
    } catch (const EPlatformError&) {
      return false;  // an unmappable drive holds no disk
    }
  };
  std::string path = name;
  for (int attempt = 0; attempt < 4; ++attempt) {
    path = name;
    if (!exists(path)) {
      if (!OnNewDisk) Fail(kWrongDisk, {disk});
      std::string dir(DirectoryPart(path));
      OnNewDisk(*this, disk, dir);
      path = WithBackslash(dir) + std::string(FileNamePart(name));
      name = path;
    }
    if (exists(path)) {
      std::unique_ptr<ArchiveStream> s = OpenFile(path, write, false);
      if (!s) Fail(kCannotOpenCompressedFile, {path});
      if (rename_archive) compressed_file_ = path;  // keeps the name of the disk file opened last
      return s;
    }
  }
  Fail(kCannotOpenCompressedFile, {path});
}

}  // namespace brimwell
