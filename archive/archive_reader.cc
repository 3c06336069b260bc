#include "archive/archive_reader.h"

#include <algorithm>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/archive_names.h"
#include "framework/text_case.h"

namespace brimwell {
namespace {

// Disk numbers 0 and 1 both mean the first disk file.
int DiskOf(std::uint8_t stored) { return stored == 0 ? 1 : stored; }

// Reads the headers of an archive through a window of the file: the
// headers of small members lie a few hundred bytes apart, and one read
// then brings many of them instead of a seek and a read each.
class HeaderWindow {
 public:
  static constexpr std::size_t kSize = 16 * 1024;

  HeaderWindow(ArchiveStream& file, std::int64_t offset, std::int64_t length)
      : file_(file), offset_(offset), length_(length), buffer_(kSize) {}

  // The kFileHeaderSize bytes at `pos` (relative to the archive's start,
  // inside its length); false when they cannot be read.
  bool Read(std::int64_t pos, FileHeaderBytes& bytes) {
    const auto size = static_cast<std::int64_t>(kFileHeaderSize);
    if (pos < start_ || pos + size > start_ + filled_) {
      const std::int64_t want = std::min<std::int64_t>(static_cast<std::int64_t>(kSize), length_ - pos);
      file_.Seek(offset_ + pos);
      start_ = pos;
      filled_ = static_cast<std::int64_t>(
          file_.ReadFully(std::span<std::uint8_t>(buffer_.data(), static_cast<std::size_t>(want))));
      if (filled_ < size) return false;
    }
    std::copy_n(buffer_.begin() + (pos - start_), kFileHeaderSize, bytes.begin());
    return true;
  }

 private:
  ArchiveStream& file_;
  const std::int64_t offset_;
  const std::int64_t length_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t start_ = 0;
  std::int64_t filled_ = 0;
};

}  // namespace

bool HeaderFitsArchive(const TFileHeader& h, std::int64_t header_pos, std::int64_t length,
                       const ArchivePrologue& prologue) {
  const std::int64_t data_pos = h.DataPos, end_pos = h.EndPos, size = h.CompressedSize;
  if (h.FileSize < 0 || size < 0 || data_pos < 0) return false;
  if (!prologue.MultiVolume) {
    // header, stream, next header: in this order, without overlap, inside.
    return DiskOf(h.StartDisk) == 1 && DiskOf(h.EndDisk) == 1 &&
           data_pos >= header_pos + static_cast<std::int64_t>(kFileHeaderSize) &&
           end_pos == data_pos + size - 1 && end_pos < length && h.NextHeaderPos > end_pos &&
           h.NextHeaderPos <= length;
  }
  // All headers lie back to back at the start of disk 1; streams follow them.
  const std::int64_t table_end =
      static_cast<std::int64_t>(kPrologueSize) +
      static_cast<std::int64_t>(kFileHeaderSize) * std::max<std::int32_t>(prologue.FileCount, 0);
  const int start_disk = DiskOf(h.StartDisk), end_disk = DiskOf(h.EndDisk);
  if (h.NextHeaderPos != header_pos + static_cast<std::int64_t>(kFileHeaderSize)) return false;
  if (start_disk > end_disk) return false;
  if (start_disk == 1 && (data_pos < table_end || data_pos > length)) return false;
  if (start_disk == end_disk) {
    if (end_pos != data_pos + size - 1) return false;
    if (end_disk == 1 && end_pos >= length) return false;
  } else if (end_pos < 0 || end_pos >= size) {
    return false;  // the stream's tail on the last disk is part of its length
  }
  return true;
}

ArchiveDirectory ReadArchiveDirectory(ArchiveStream& file, std::int64_t offset,
                                      std::optional<std::int64_t> end) {
  const std::int64_t file_end = end.value_or(file.Size());
  const std::int64_t length = file_end - offset;
  ArchiveDirectory dir;

  PrologueBytes prologue_bytes{};
  if (offset < 0 || length < static_cast<std::int64_t>(kPrologueSize)) {
    throw EBrwlCompress(kCouldNotReadHeaderCount);
  }
  file.Seek(offset);
  if (file.ReadFully(prologue_bytes) != kPrologueSize)
    throw EBrwlCompress(kCouldNotReadHeaderCount);
  dir.prologue = DecodePrologue(prologue_bytes);

  // Refuse an impossible count before reserving room for it.
  const std::int64_t room = (length - static_cast<std::int64_t>(kPrologueSize)) /
                            static_cast<std::int64_t>(kFileHeaderSize);
  if (dir.prologue.FileCount < 0 || dir.prologue.FileCount > room) {
    throw EBrwlCompress(kCouldNotReadHeaders);
  }
  dir.headers.reserve(static_cast<std::size_t>(dir.prologue.FileCount));

  std::int64_t pos = kPrologueSize;  // relative to the archive's start
  FileHeaderBytes bytes{};
  HeaderWindow window(file, offset, length);
  for (std::int32_t i = 0; i < dir.prologue.FileCount; ++i) {
    if (pos + static_cast<std::int64_t>(kFileHeaderSize) > length) {
      throw EBrwlCompress(kCouldNotReadHeaders);
    }
    if (!window.Read(pos, bytes)) throw EBrwlCompress(kCouldNotReadHeaders);
    std::optional<TFileHeader> header = DecodeFileHeader(bytes);
    if (IsBlankFileName(header->FileName)) throw EBrwlCompress(kInvalidFileHeader);
    if (!HeaderFitsArchive(*header, pos, length, dir.prologue)) {
      throw EBrwlCompress(kCouldNotReadHeaders);
    }
    pos = header->NextHeaderPos;
    dir.headers.push_back(std::move(*header));
  }
  return dir;
}

int FindMemberByName(std::span<const TFileHeader> headers, std::string_view wanted) {
  std::string_view name = FirstToken(wanted);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (SameText(headers[i].FileName, name)) return static_cast<int>(i);
  }
  return -1;
}

void MemberNameIndex::Build(std::span<const TFileHeader> headers) {
  Clear();
  index_.reserve(headers.size());
  for (std::size_t i = 0; i < headers.size(); ++i) Add(headers[i].FileName, static_cast<int>(i));
}

void MemberNameIndex::Add(std::string_view file_name, int index) {
  ++generation_;
  index_.try_emplace(std::string(file_name), index);  // an earlier equal name stays
}

int MemberNameIndex::Find(std::string_view wanted) const {
  auto it = index_.find(FirstToken(wanted));
  return it == index_.end() ? -1 : it->second;
}

void FileIDTable::Build(std::span<const TFileHeader> headers) {
  Clear();
  for (std::size_t i = 0; i < headers.size(); ++i) Set(headers[i].FileID, static_cast<int>(i));
}

void FileIDTable::Set(std::int32_t file_id, int index) {
  if (file_id >= 0 && file_id < kFileIDTableSize)
    entries_[static_cast<std::size_t>(file_id)] = index;
}

int FileIDTable::Lookup(std::int32_t file_id) const {
  if (file_id < 0 || file_id >= kFileIDTableSize) return -1;
  return entries_[static_cast<std::size_t>(file_id)];
}

std::optional<SelfExtractTrailer> ReadSelfExtractTrailer(ArchiveStream& file) {
  std::int64_t size = file.Size();
  if (size < static_cast<std::int64_t>(self_extract::kTrailerSize)) return std::nullopt;
  TrailerBytes bytes{};
  file.Seek(size - static_cast<std::int64_t>(self_extract::kTrailerSize));
  if (file.ReadFully(bytes) != self_extract::kTrailerSize) return std::nullopt;
  return DecodeTrailer(bytes);
}

bool TrailerFitsFile(const SelfExtractTrailer& t, std::int64_t file_size) {
  const std::int64_t trailer_pos = file_size - static_cast<std::int64_t>(self_extract::kTrailerSize);
  if (t.Setup1Start <= 0 || t.Setup1End < t.Setup1Start || t.Setup1End >= trailer_pos) {
    return false;
  }
  if (!t.HasFiles1()) return true;
  return t.Files1Start > t.Setup1End && t.Files1End >= t.Files1Start && t.Files1End < trailer_pos;
}

}  // namespace brimwell
