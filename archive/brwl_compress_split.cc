#include <algorithm>
#include <array>
#include <vector>

#include "archive/archive_names.h"
#include "archive/brwl_compress.h"
#include "archive/brwl_compress_common.h"
#include "platform/machine.h"

// TBrwlCompress: writing an archive as a multi-volume set over numbered disk
// files.

namespace brimwell {
namespace {

// Disk numbers are stored in one byte.
constexpr int kMaxDisks = 255;
constexpr char kTooManyDisks[] = "An archive cannot be split over more than 255 disks";

}  // namespace

using namespace brwl_compress;

void TBrwlCompress::SplitToDisks(const std::string& dest_dir, const std::string& disk_file_name) {
  ReleaseHeld();  // the set is written from the archive: nothing stays held
  RunOperation(*this, false, [&] { WriteDiskSet(dest_dir, disk_file_name); });
}

namespace {

// Writes the set's header table at the start of disk file 1: the prologue
// and every header back to back, each chained to the next by +172.
void WriteHeaderTable(TBrwlCompress& c, ArchiveStream& out, std::vector<TFileHeader>& headers) {
  out.Seek(0);
  bool ok =
      out.WriteFully(Bytes(EncodePrologue({static_cast<std::int32_t>(headers.size()), true}))) ==
      kPrologueSize;
  for (std::size_t k = 0; ok && k < headers.size(); ++k) {
    headers[k].NextHeaderPos = static_cast<std::int32_t>(kPrologueSize + (k + 1) * kFileHeaderSize);
    ok = out.WriteFully(Bytes(EncodeFileHeader(headers[k]))) == kFileHeaderSize;
  }
  if (!ok) throw EBrwlCompress(c.Message(kCouldNotWriteHeaders, {}));
}

}  // namespace

void TBrwlCompress::WriteDiskSet(const std::string& dest_dir, const std::string& disk_file_name) {
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
  WriteHeaderTable(*this, *target, split);

  int disk = 1;
  std::string path = WindowsForm(dest_dir);  // as the OnNewDisk handler leaves it
  for (TFileHeader& h : split) {
    SplitMember(*source, target, h, disk, path, disk_file_name);
  }
  target.reset();
  current_disk_ = disk;

  // Disk 1 may have left the drive: ask for it again to finish its table.
  std::unique_ptr<ArchiveStream> first = OpenDiskFileAt(first_name, 1, true, false);
  WriteHeaderTable(*this, *first, split);
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

}  // namespace brimwell
