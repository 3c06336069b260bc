// Reading an archive's directory: the prologue and every file header, checked
// against the archive's size before anything else is read; finding members by
// name and by install-item number; and reading a self-extracting trailer.
// Needs only the C++ library (the loader links it).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_stream.h"
#include "framework/text_case.h"

namespace brimwell {

inline constexpr char kCouldNotReadHeaderCount[] =
    "Could not read the file header count for the compressed file";
inline constexpr char kCouldNotReadHeaders[] =
    "Could not read the file headers for the compressed file. The Archive file could possible be "
    "corrupt";
inline constexpr char kInvalidFileHeader[] = "Tried to add an invalid file header";

struct ArchiveDirectory {
  ArchivePrologue prologue;
  std::vector<TFileHeader> headers;
};

// Reads the archive that starts at `offset` in `file` and ends before `end`
// (the file's size when nullopt; an embedded image's inclusive end + 1).
// Throws EBrwlCompress:
//   kCouldNotReadHeaderCount  the prologue cannot be read;
//   kCouldNotReadHeaders      a header cannot be read whole, the count is
//                             negative or larger than the archive can hold, or a
//                             header points outside the archive, backwards, or
//                             into a header (checked before any data is read);
//   kInvalidFileHeader        a header's FileName is blank.
// Multi-volume members running on into later disk files are checked as far
// as disk file 1 allows.
ArchiveDirectory ReadArchiveDirectory(ArchiveStream& file, std::int64_t offset,
                                      std::optional<std::int64_t> end = std::nullopt);

// The placement rules ReadArchiveDirectory applies to one header found at
// `header_pos` in an archive of `length` bytes (positions relative to the
// archive's start). Also for readers that read headers their own way.
bool HeaderFitsArchive(const TFileHeader& header, std::int64_t header_pos, std::int64_t length,
                       const ArchivePrologue& prologue);

// Index of the first header whose FileName equals the first ";"-separated
// token of `wanted` without regard to case; -1 when none.
int FindMemberByName(std::span<const TFileHeader> headers, std::string_view wanted);

// The members of an archive by name, folded to one case once, so that
// finding each of n members costs a hash lookup instead of a pass over every
// header. The first of equal names wins, as FindMemberByName answers.
class MemberNameIndex {
 public:
  void Clear() {
    index_.clear();
    ++generation_;
  }
  // Indexes `headers` in file order (replacing what was indexed).
  void Build(std::span<const TFileHeader> headers);
  // Adds one header at `index` unless an equal name is indexed already.
  void Add(std::string_view file_name, int index);
  // As FindMemberByName: the first ";"-separated token of `wanted`; -1 when
  // no member carries that name.
  int Find(std::string_view wanted) const;
  std::size_t Size() const { return index_.size(); }
  // Changes whenever the index does.
  std::uint64_t Generation() const { return generation_; }

 private:
  std::unordered_map<std::string, int, SameTextHash, SameTextEqual> index_;
  std::uint64_t generation_ = 0;
};

// Maps install-item numbers 0..1999 to the index of the last header that
// carries them; -1 for no header and for numbers outside the range.
class FileIDTable {
 public:
  FileIDTable() { Clear(); }
  void Clear() { entries_.fill(-1); }
  // Fills the table from headers in file order (a later header wins).
  void Build(std::span<const TFileHeader> headers);
  void Set(std::int32_t file_id, int index);
  int Lookup(std::int32_t file_id) const;

 private:
  std::array<int, kFileIDTableSize> entries_;
};

// Reads the last 56 bytes of `file`; nullopt when the file is shorter or
// they do not carry the marker (a plain program). Never throws for content.
std::optional<SelfExtractTrailer> ReadSelfExtractTrailer(ArchiveStream& file);

// True when the trailer's images lie, in order, inside a file of
// `file_size` bytes before the trailer itself.
bool TrailerFitsFile(const SelfExtractTrailer& trailer, std::int64_t file_size);

}  // namespace brimwell
