#include "archive/brwl_compress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "archive/archive_names.h"
#include "archive/dos_time.h"
#include "archive/host_file.h"
#include "archive/machine_file_stream.h"
#include "archive/member_inflater.h"
#include "archive/program_content.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "framework/application.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"

namespace brimwell {
namespace {

// Compression reads and writes 64 KB blocks; splitting and copying move
// 8 KB chunks.
constexpr std::size_t kCompressBlock = 64 * 1024;
constexpr std::size_t kCopyChunk = 8192;
// Disk numbers are stored in one byte.
constexpr int kMaxDisks = 255;
constexpr char kTooManyDisks[] = "An archive cannot be split over more than 255 disks";

std::uint8_t Percent(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return 0;
  double p = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  return static_cast<std::uint8_t>(std::clamp(p, 0.0, 255.0));
}

std::int32_t Ratio(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return 0;
  return static_cast<std::int32_t>(
      std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole)));
}

std::string WithBackslash(std::string_view dir) {
  std::string s(dir);
  if (!s.empty() && s.back() != '\\' && s.back() != '/') s += '\\';
  return s;
}

bool IsBlank(std::string_view s) { return IsBlankFileName(s); }

std::span<const std::uint8_t> Bytes(const auto& array) {
  return std::span<const std::uint8_t>(array.data(), array.size());
}

}  // namespace

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
  if (EqualsIgnoreCase(name, compressed_file_)) return;
  if (headers_loaded_ && !SameArchiveSet(name, compressed_file_)) {
    headers_loaded_ = false;
    headers_.Clear();
    ids_.Clear();
  }
  compressed_file_ = name;
}

void TBrwlCompress::SetFilesToProcess(const TStringList& files) {
  TStringList kept;
  for (const std::string& line : files) {
    if (!IsBlank(line)) kept.Add(line);
  }
  files_to_process_ = std::move(kept);
}

void TBrwlCompress::SetFilesToProcessLines(const std::vector<std::string>& lines) {
  SetFilesToProcess(TStringList(lines));
}

// --- headers and statistics ------------------------------------------------------

std::unique_ptr<ArchiveStream> TBrwlCompress::OpenFile(const std::string& path, bool write,
                                                       bool create) {
  try {
    WinResult<std::unique_ptr<File>> file = machine().GetFileSystem().Open(
        path, write ? FileAccess::kReadWrite : FileAccess::kRead, kShareReadWrite,
        create ? FileDisposition::kCreateAlways : FileDisposition::kOpenExisting);
    if (!file) return nullptr;
    return std::make_unique<MachineFileStream>(std::move(*file));
  } catch (const EPlatformError&) {
    return nullptr;  // a path the machine cannot map opens nothing
  }
}

void TBrwlCompress::LoadHeaders() {
  std::unique_ptr<ArchiveStream> archive = OpenFile(compressed_file_, false, false);
  if (!archive) Fail(kCannotOpenCompressedFile, {compressed_file_});
  headers_loaded_ = false;
  headers_.Clear();
  ids_.Clear();
  ArchiveDirectory dir;
  try {
    dir = ReadArchiveDirectory(*archive, offset_);
  } catch (const EBrwlCompress&) {
    Fail(kCouldNotReadHeaders);  // every reading fault is reported as a corrupt archive
  }
  multi_volume_ = dir.prologue.MultiVolume;
  headers_.Reserve(dir.headers.size());
  for (TFileHeader& h : dir.headers) headers_.Add(std::move(h), true);
  for (int i = 0; i < headers_.Count(); ++i) ids_.Set(headers_[i].header.FileID, i);
  headers_loaded_ = true;
}

void TBrwlCompress::LoadHeadersIfNeeded() {
  if (!headers_loaded_) LoadHeaders();
}

void TBrwlCompress::ComputeTotals() {
  stats_.TotalSize = 0;
  stats_.TotalCompressed = 0;
  for (const TFileHeaders::Entry& e : headers_) {
    stats_.TotalSize += e.header.FileSize;
    stats_.TotalCompressed += e.header.CompressedSize;
  }
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

void TBrwlCompress::AddStatus() {
  if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
  ProcessMessages();
  if (!temp_stream_) Fail(kNilDestFile);
  const std::int64_t p = source_position_;
  stats_.TotalBytesDone += p - stats_.BytesDone;
  stats_.BytesDone = p;
  stats_.CompressedSize = temp_stream_->Position();
  stats_.FilePercent = Percent(stats_.BytesDone, stats_.FileSize);
  stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalSize);
  if (OnStatus) OnStatus(*this, stats_);
}

// --- Compress ------------------------------------------------------------------------

TFileHeader TBrwlCompress::HeaderForSource(const std::string& source, int batch_index) {
  std::string full;
  try {
    full = machine().GetPaths().FullPath(source);
  } catch (const EPlatformError&) {
    Fail(kCannotOpenTheFile, {source});
  }
  std::unique_ptr<ArchiveStream> in = OpenFile(full, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  const std::int64_t size = in->Size();
  if (size > kMaxArchiveBytes) Fail(kSourceTooLarge, {full});
  WinResult<TDateTime> date = static_cast<MachineFileStream&>(*in).file().LastWriteTime();
  if (!date) Fail(kCannotOpenTheFile, {source});

  TFileHeader h;
  h.BatchIndex = batch_index;
  h.FileName = CutShortString(full, kMaxFileNameLength);
  h.FileDate = ToDosResolution(*date);
  h.FileSize = static_cast<std::int32_t>(size);
  versions().SetFileName(full);
  h.FileVersion = CutShortString(versions().VersionInfo().FileVersion(), kMaxFileVersionLength);
  if (IsBlankFileName(h.FileName)) Fail(kInvalidFileHeader);
  return h;
}

// Runs an operation body with the component's error rules: a stop through
// Abort raises OnAborted and ends quietly, the silent abort ends quietly
// (when `quiet_silent_abort`), any other error sets Abort and passes on.
class TBrwlCompress::Operation {
 public:
  template <class Body, class Cleanup>
  static void Run(TBrwlCompress& c, bool quiet_silent_abort, Body body, Cleanup on_error) {
    try {
      body();
    } catch (const EbcAborted&) {
      on_error();
      if (c.OnAborted) c.OnAborted(c);
    } catch (const EAbort&) {
      on_error();
      if (!quiet_silent_abort) {
        c.abort_ = true;
        throw;
      }
    } catch (...) {  // every other error: note it in Abort and pass it on
      c.abort_ = true;
      on_error();
      throw;
    }
  }
};

void TBrwlCompress::Compress(bool append, std::int32_t file_id) {
  Operation::Run(
      *this, true,
      [&] {
        abort_ = false;
        state_ = State::kCompressing;
        offset_ = 0;
        multi_volume_ = false;
        FileSystem& fs = machine().GetFileSystem();

        std::string dir(DirectoryPart(compressed_file_));
        if (dir.empty()) throw EInOutError(Message(kUnableToCreateDirectory, {}));
        (void)fs.ForceDirectories(dir);  // a level that cannot be made fails at creation

        // Everything about the sources is known before the archive is touched,
        // so a missing or oversized source leaves the archive as it was.
        std::vector<TFileHeader> fresh;
        std::vector<std::string> sources;
        for (int i = 0; i < files_to_process_.Count(); ++i) {
          std::string source(FirstToken(files_to_process_.Strings(i)));
          fresh.push_back(HeaderForSource(source, i + 1));
          sources.push_back(machine().GetPaths().FullPath(source));
        }

        const bool appending = append && fs.FileExists(compressed_file_);
        std::unique_ptr<ArchiveStream> archive = OpenFile(compressed_file_, true, !appending);
        if (!archive) Fail(kCannotCreateTheFile, {compressed_file_});
        headers_.Clear();
        headers_loaded_ = false;
        ids_.Clear();
        std::int64_t end = kPrologueSize;  // where the next member goes
        if (appending) {
          ArchiveDirectory existing;
          try {
            existing = ReadArchiveDirectory(*archive, 0);
          } catch (const EBrwlCompress&) {
            Fail(kCouldNotReadHeaders);
          }
          if (existing.prologue.MultiVolume) Fail(kAlreadySplit, {compressed_file_});
          for (TFileHeader& h : existing.headers) {
            end = h.NextHeaderPos;
            headers_.Add(std::move(h), true);
          }
        }
        const int kept = headers_.Count();
        for (int i = 0; i < kept; ++i) ids_.Set(headers_[i].header.FileID, i);
        for (TFileHeader& h : fresh) headers_.Add(std::move(h), false);

        // The count covers complete members only and grows with each one, so
        // an archive interrupted by an error or Abort stays readable.
        auto write_count = [&](int count) {
          archive->Seek(0);
          if (archive->WriteFully(Bytes(EncodePrologue({count, false}))) != kPrologueSize) {
            Fail(kCouldNotWriteHeaders);
          }
        };
        write_count(kept);
        archive->Seek(end);

        ComputeTotals();
        stats_.TotalCompressed = 0;
        for (int i = kept; i < headers_.Count(); ++i) {
          CompressOne(*archive, static_cast<std::size_t>(i), file_id,
                      sources[static_cast<std::size_t>(i - kept)]);
          std::int64_t next = archive->Position();
          write_count(i + 1);
          archive->Seek(next);
        }
        headers_loaded_ = false;
        archive.reset();
        files_to_process_.Clear();
      },
      [&] {
        temp_stream_.reset();
        files_to_process_.Clear();
      });
}

void TBrwlCompress::CompressOne(ArchiveStream& archive, std::size_t index, std::int32_t file_id,
                                const std::string& source) {
  FileSystem& fs = machine().GetFileSystem();
  TFileHeader& h = headers_[static_cast<int>(index)].header;

  WinResult<std::string> temp_name = fs.GetTempFileName(fs.TempPath(), "bat", 0);
  if (!temp_name) Fail(kCannotCreateTemporaryFile);
  struct TempFile {  // closes and deletes the temporary file however we leave
    TBrwlCompress& c;
    FileSystem& fs;
    std::string name;
    ~TempFile() {
      c.temp_stream_.reset();
      fs.DeleteFile(name).IgnoreError();  // a failing delete is of no consequence
    }
  } temp{*this, fs, *temp_name};

  std::unique_ptr<ArchiveStream> in = OpenFile(source, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  temp_stream_ = OpenFile(temp.name, true, true);
  if (!temp_stream_) Fail(kCannotCreateTheFile, {temp.name});

  FillStats(h);
  stats_.CompressedSize = 0;
  if (OnBeforeAdding) OnBeforeAdding(*this, stats_);

  // The compression stream: 64 KB blocks out, AddStatus after each one.
  Deflater deflater(ZlibLevel(compression_level_));
  std::vector<std::uint8_t> input(kCompressBlock), output(kCompressBlock);
  std::size_t filled = 0;
  source_position_ = 0;
  bool finishing = false;
  while (!deflater.Finished()) {
    if (deflater.InputLeft() == 0 && !finishing) {
      std::size_t n = in->ReadFully(input);
      source_position_ += static_cast<std::int64_t>(n);
      if (source_position_ > kMaxArchiveBytes) Fail(kSourceTooLarge, {source});
      finishing = n < input.size();
      deflater.SetInput(std::span<const std::uint8_t>(input.data(), n));
    }
    filled +=
        deflater.Deflate(std::span(output.data() + filled, output.size() - filled), finishing);
    if (filled == output.size()) {
      WriteOrDiskFull(*temp_stream_, output);
      filled = 0;
      AddStatus();
    }
  }
  WriteOrDiskFull(*temp_stream_, std::span<const std::uint8_t>(output.data(), filled));
  // The header describes what was compressed, even if the file changed since.
  h.FileSize = static_cast<std::int32_t>(source_position_);
  stats_.FileSize = h.FileSize;
  const std::int64_t compressed = temp_stream_->Position();
  stats_.Ratio = Ratio(compressed, h.FileSize);
  stats_.FileDone = true;
  AddStatus();
  stats_.FileDone = false;

  const std::int64_t header_pos = archive.Position();
  if (header_pos + static_cast<std::int64_t>(kFileHeaderSize) + compressed > kMaxArchiveBytes) {
    Fail(kArchiveTooLarge, {source, compressed_file_});
  }
  if (archive.WriteFully(Bytes(EncodeFileHeader(h))) != kFileHeaderSize)
    Fail(kCouldNotWriteHeaders);
  h.DataPos = static_cast<std::int32_t>(header_pos + static_cast<std::int64_t>(kFileHeaderSize));
  temp_stream_->Seek(0);
  std::int64_t copied = 0;
  for (;;) {
    std::size_t n = temp_stream_->ReadFully(input);
    if (n == 0) break;
    WriteOrDiskFull(archive, std::span<const std::uint8_t>(input.data(), n));
    copied += static_cast<std::int64_t>(n);
  }
  // Fewer bytes than the temporary file holds would leave a broken member:
  // the disk-full error, without carrying on.
  if (copied != compressed) throw EbcDiskFull(Message(kDiskFull, {}));

  stats_.TotalCompressed += compressed;
  const std::int64_t end = archive.Position();
  h.EndPos = static_cast<std::int32_t>(end - 1);
  h.NextHeaderPos = static_cast<std::int32_t>(end);
  h.CompressedSize = static_cast<std::int32_t>(compressed);
  h.FileID = file_id;
  ids_.Set(file_id, static_cast<int>(index));
  archive.Seek(header_pos);
  if (archive.WriteFully(Bytes(EncodeFileHeader(h))) != kFileHeaderSize)
    Fail(kCouldNotWriteHeaders);
  archive.Seek(end);
  stats_.Header = h;
  if (OnAfterAdding) OnAfterAdding(*this, stats_);
}

// --- Extract --------------------------------------------------------------------------

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

std::string TBrwlCompress::WindowsForm(const std::string& path) const {
  // A host directory ("/home/me/out") is read as Z:\..., so that names
  // joined to it with a backslash stay inside it.
  if (path.empty() || path[0] != '/') return path;
  return machine().GetPaths().FullPath(path);
}

std::string TBrwlCompress::TargetPath() const {
  return WithBackslash(WindowsForm(extract_directory_)) + ExtractAs;
}

void TBrwlCompress::CheckTargetName() const {
  const std::string& name = ExtractAs;
  bool unsafe = IsBlank(name) || name == "." || name == ".." ||
                name.find_first_of("\\/:") != std::string::npos;
  if (unsafe) Fail(kUnsafeTargetName, {name, extract_directory_});
}

bool TBrwlCompress::ApplyAnswer(NewerFileAnswer answer, std::string& target) {
  switch (answer) {
    case NewerFileAnswer::kCannotTell:
      Fail(kErrorComparingVersions);
    case NewerFileAnswer::kReplace:
      // The handler may change ExtractDirectory and ExtractAs.
      if (OnReplace) OnReplace(*this, stats_);
      CheckTargetName();
      target = TargetPath();
      return true;
    case NewerFileAnswer::kSame:
    case NewerFileAnswer::kKeep:
      break;
  }
  return false;
}

void TBrwlCompress::MarkIfProgram(const std::string& path, std::span<const std::uint8_t> head) {
  if (!LooksLikeProgram(head)) return;
  // The file service keeps no permissions; the host file gets them directly.
  MakeHostFileExecutable(machine().GetPaths().ToHost(path).string());
}

void TBrwlCompress::Extract() {
  Operation::Run(
      *this, true,
      [&] {
        abort_ = false;
        state_ = State::kExtracting;
        LoadHeadersIfNeeded();
        current_disk_ = 0;
        ComputeTotals();
        extract_archive_.reset();
        extract_made_dir_.clear();
        const std::vector<std::string> lines = files_to_process_.Lines();
        for (const std::string& line : lines) ExtractOne(line);
        extract_archive_.reset();
        files_to_process_.Clear();
        ExtractAs.clear();
      },
      [&] {
        extract_archive_.reset();
        // A name meant for the failed member must not rename the next one.
        files_to_process_.Clear();
        ExtractAs.clear();
      });
}

void TBrwlCompress::ExtractOne(const std::string& line) {
  FileSystem& fs = machine().GetFileSystem();
  SkipFile = false;
  const std::string_view wanted = FirstToken(line);
  int index = -1;
  for (int i = 0; i < headers_.Count(); ++i) {
    if (EqualsIgnoreCase(headers_[i].header.FileName, wanted)) {
      index = i;
      break;
    }
  }
  if (index < 0) Fail(kMemberNotFound, {line, compressed_file_});
  const TFileHeader h = headers_[index].header;

  FillStats(h);
  if (IsBlank(ExtractAs)) ExtractAs = std::string(FileNamePart(h.FileName));
  if (OnBeforeExtracting) OnBeforeExtracting(*this, stats_);
  ExtractAs = std::string(FileNamePart(ExtractAs));
  CheckTargetName();
  std::string target = TargetPath();

  bool write = true;
  if (fs.FileExists(target)) {
    write = ApplyAnswer(versions().IsFileNewer(h.FileVersion, target, overwrite_, h.FileDate),
                        target);
  }
  if (SkipFile) write = false;
  if (!write) {
    stats_.FileDone = true;
    if (OnStatus) OnStatus(*this, stats_);
    ExtractAs.clear();
    return;
  }

  // A single-file archive stays open from one member to the next; the disk
  // files of a set are opened (and asked for) member by member.
  std::unique_ptr<ArchiveStream> disk_file;
  if (multi_volume_ || !extract_archive_ || extract_archive_path_ != compressed_file_) {
    extract_archive_.reset();
    disk_file = OpenDiskFile(std::max<int>(h.StartDisk, 1), false);
  }
  ArchiveStream& first = disk_file ? *disk_file : *extract_archive_;
  current_disk_ = h.StartDisk;
  std::string dir(DirectoryPart(target));
  if (dir.empty()) throw EInOutError(Message(kUnableToCreateDirectory, {}));
  // The directory of the previous member exists already, unless someone
  // removed it since: then the creation below fails and is tried again.
  if (dir != extract_made_dir_) (void)fs.ForceDirectories(dir);
  std::unique_ptr<ArchiveStream> out = OpenFile(target, true, true);
  if (!out && dir == extract_made_dir_ && fs.ForceDirectories(dir)) {
    out = OpenFile(target, true, true);
  }
  if (!out) Fail(kCannotCreateTheFile, {target});
  extract_made_dir_ = dir;
  if (!multi_volume_ && disk_file) {
    extract_archive_ = std::move(disk_file);
    extract_archive_path_ = compressed_file_;
  }

  std::unique_ptr<ArchiveStream> later_disk;
  std::array<std::uint8_t, kProgramMagicBytes> head{};
  std::size_t head_size = 0;
  // zlib fills 64 KB at a time (few inflate calls, few large writes); each
  // 4 KB block of it is the unit of progress and abort.
  if (!inflater_) inflater_ = std::make_unique<MemberInflater>(kCompressBlock);
  MemberInflater::Result result = inflater_->Inflate(
      first, h, offset_,
      [&](int disk) -> ArchiveStream& {
        current_disk_ = disk;
        later_disk = OpenDiskFile(disk, false);
        return *later_disk;
      },
      [&](std::span<const std::uint8_t> chunk) {
        if (head_size < head.size()) {
          std::size_t n = std::min(head.size() - head_size, chunk.size());
          std::copy_n(chunk.begin(), n, head.begin() + static_cast<std::ptrdiff_t>(head_size));
          head_size += n;
        }
        for (std::size_t at = 0; at < chunk.size(); at += kInflateOutputBlock) {
          if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
          ProcessMessages();
          const auto n = static_cast<std::int64_t>(std::min(kInflateOutputBlock, chunk.size() - at));
          stats_.BytesDone += n;
          stats_.TotalBytesDone += n;
          stats_.FilePercent = Percent(stats_.BytesDone, stats_.FileSize);
          stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalSize);
          if (OnStatus) OnStatus(*this, stats_);
        }
        WriteOrDiskFull(*out, chunk);
      });
  stats_.FileDone = true;
  if (OnStatus) OnStatus(*this, stats_);
  if (result.too_long || out->Size() != h.FileSize) Fail(kSizeMismatch, {h.FileName});
  File& out_file = static_cast<MachineFileStream&>(*out).file();
  if (!IsUsableFileDate(h.FileDate) || !out_file.SetLastWriteTime(h.FileDate)) Fail(kCannotSetDate);
  out.reset();
  MarkIfProgram(target, std::span<const std::uint8_t>(head.data(), head_size));
  ExtractAs.clear();
}

// --- SplitToDisks ----------------------------------------------------------------------

void TBrwlCompress::SplitToDisks(const std::string& dest_dir, const std::string& disk_file_name) {
  Operation::Run(
      *this, false,
      [&] {
        abort_ = false;
        LoadHeadersIfNeeded();
        if (multi_volume_) Fail(kAlreadySplit, {compressed_file_});
        current_disk_ = 1;
        ComputeTotals();

        std::unique_ptr<ArchiveStream> source = OpenFile(compressed_file_, false, false);
        if (!source) Fail(kCannotOpenCompressedFile, {compressed_file_});
        const std::string first_name =
            WithBackslash(WindowsForm(dest_dir)) + std::string(FileNamePart(disk_file_name));
        std::unique_ptr<ArchiveStream> target = OpenFile(first_name, true, true);
        if (!target) Fail(kCannotCreateTheFile, {first_name});

        // The set's header table: every header back to back on disk 1. The
        // component's own headers keep describing CompressedFile.
        std::vector<TFileHeader> split;
        for (const TFileHeaders::Entry& e : headers_) split.push_back(e.header);
        auto write_table = [&](ArchiveStream& out) {
          out.Seek(0);
          bool ok = out.WriteFully(Bytes(EncodePrologue(
                        {static_cast<std::int32_t>(split.size()), true}))) == kPrologueSize;
          for (std::size_t k = 0; ok && k < split.size(); ++k) {
            split[k].NextHeaderPos =
                static_cast<std::int32_t>(kPrologueSize + (k + 1) * kFileHeaderSize);
            ok = out.WriteFully(Bytes(EncodeFileHeader(split[k]))) == kFileHeaderSize;
          }
          if (!ok) Fail(kCouldNotWriteHeaders);
        };
        write_table(*target);

        int disk = 1;
        std::string path = WindowsForm(dest_dir);  // as the OnNewDisk handler leaves it
        for (TFileHeader& h : split) {
          SplitMember(*source, target, h, disk, path, disk_file_name);
        }
        target.reset();
        current_disk_ = disk;

        // Disk 1 may have left the drive: ask for it again to finish its table.
        std::unique_ptr<ArchiveStream> first = OpenDiskFileAt(first_name, 1, true, false);
        write_table(*first);
      },
      [] {});
}

void TBrwlCompress::SplitMember(ArchiveStream& source, std::unique_ptr<ArchiveStream>& target,
                                TFileHeader& h, int& disk, std::string& path,
                                const std::string& disk_file_name) {
  FillStats(h);
  const std::int64_t start = static_cast<std::int64_t>(offset_) + h.DataPos;
  std::int64_t remaining = static_cast<std::int64_t>(h.EndPos) - h.DataPos + 1;
  source.Seek(start);
  h.DataPos = static_cast<std::int32_t>(target->Position());
  h.StartDisk = static_cast<std::uint8_t>(disk);
  std::array<std::uint8_t, kCopyChunk> chunk{};
  while (remaining > 0) {
    if (abort_) throw EbcAborted(Message(kOperationAborted, {}));
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kCopyChunk));
    std::span<std::uint8_t> data(chunk.data(), n);
    if (source.ReadFully(data) != n) Fail(kCouldNotReadHeaders);
    std::size_t written = target->WriteFully(data);
    if (written < n) {
      target.reset();
      ++disk;
      if (disk > kMaxDisks) Fail(kTooManyDisks);
      current_disk_ = disk;
      if (!OnNewDisk) Fail(kNoNewDiskHandler);
      OnNewDisk(*this, disk, path);
      const std::string name =
          WithBackslash(path) + std::string(FileNamePart(DiskFileName(disk_file_name, disk)));
      target = OpenFile(name, true, true);
      if (!target) Fail(kCannotCreateTheFile, {name});
      std::span<const std::uint8_t> rest = data.subspan(written);
      if (target->WriteFully(rest) != rest.size()) Fail(kTooLittleSpace);
    }
    ProcessMessages();
    stats_.BytesDone += static_cast<std::int64_t>(n);
    stats_.TotalBytesDone += static_cast<std::int64_t>(n);
    stats_.FilePercent = Percent(stats_.BytesDone, stats_.CompressedSize);
    stats_.TotalPercent = Percent(stats_.TotalBytesDone, stats_.TotalCompressed);
    if (OnStatus) OnStatus(*this, stats_);
    remaining -= static_cast<std::int64_t>(n);
  }
  h.EndPos = static_cast<std::int32_t>(target->Position() - 1);
  h.EndDisk = static_cast<std::uint8_t>(disk);
}

// --- CopyFile ---------------------------------------------------------------------------

void TBrwlCompress::CopyFile(const std::string& source, const std::string& dest) {
  FileSystem& fs = machine().GetFileSystem();
  abort_ = false;
  // A skip asked for during an earlier extraction must not silently drop
  // this copy.
  SkipFile = false;
  offset_ = 0;
  extract_directory_ = std::string(DirectoryPart(dest));
  ExtractAs = std::string(FileNamePart(dest));
  std::string target = dest;

  stats_ = TlzhFileStats{};
  stats_.FileName = source;
  if (fs.FileExists(dest) &&
      !ApplyAnswer(versions().IsFileNewerByName(source, dest, overwrite_), target)) {
    return;
  }
  if (SkipFile) return;

  std::unique_ptr<ArchiveStream> in = OpenFile(source, false, false);
  if (!in) Fail(kCannotOpenTheFile, {source});
  const std::int64_t size = in->Size();
  stats_.FileSize = size;
  WinResult<TDateTime> date = static_cast<MachineFileStream&>(*in).file().LastWriteTime();
  std::unique_ptr<ArchiveStream> out = OpenFile(target, true, true);
  if (!out) Fail(kCannotCreateTheFile, {target});

  std::array<std::uint8_t, kCopyChunk> chunk{};
  std::array<std::uint8_t, kProgramMagicBytes> head{};
  std::size_t head_size = 0;
  for (;;) {
    if (abort_) return;  // closes both files; stopping a copy is not an error
    std::size_t n = in->ReadFully(chunk);
    if (head_size == 0 && n > 0) {
      head_size = std::min(n, head.size());
      std::copy_n(chunk.begin(), head_size, head.begin());
    }
    WriteOrDiskFull(*out, std::span<const std::uint8_t>(chunk.data(), n));
    stats_.BytesDone += static_cast<std::int64_t>(n);
    stats_.TotalBytesDone += static_cast<std::int64_t>(n);
    stats_.FilePercent = Percent(stats_.BytesDone, size);
    stats_.TotalPercent = Percent(stats_.TotalBytesDone, size);
    if (OnStatus) OnStatus(*this, stats_);
    ProcessMessages();
    if (n < chunk.size()) break;
  }
  if (date) static_cast<MachineFileStream&>(*out).file().SetLastWriteTime(*date).IgnoreError();
  stats_.FileDone = true;
  if (OnStatus) OnStatus(*this, stats_);
  out.reset();
  MarkIfProgram(target, std::span<const std::uint8_t>(head.data(), head_size));
}

}  // namespace brimwell
