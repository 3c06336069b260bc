#include <algorithm>
#include <limits>

#include "archive/archive_names.h"
#include "archive/brwl_compress.h"
#include "archive/brwl_compress_common.h"
#include "archive/dos_time.h"
#include "archive/machine_file_stream.h"
#include "archive/version_resource.h"
#include "archive/zlib_stream.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"

// TBrwlCompress: adding files to an archive.

namespace brimwell {

using namespace brwl_compress;

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

void TBrwlCompress::Compress(bool append, std::int32_t file_id) {
  RunOperation(*this, true, [&] { CompressFiles(append, file_id); });
}

void TBrwlCompress::CompressFiles(bool append, std::int32_t file_id) {
  // The list is used up however the operation ends.
  AtScopeEnd clear_list([this] { files_to_process_.Clear(); });
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
  names_.Clear();
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

}  // namespace brimwell
