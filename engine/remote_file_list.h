// The remote file list, "filelist.lst": the sizes, dates and versions of
// the installable files of a web or network distribution, written by the
// build beside the server's archives and read by the engine before the
// installation so that the pages can show sizes before any archive is
// fetched. Layout (little-endian), described in doc/filelist_format.md:
//
//   offset 0   4 bytes      signed count of records
//   offset 4   72 x count   records
//
// A record: size (signed 32-bit, the file's uncompressed size), date (IEEE
// double, the file's date-time), name (the installable file's component
// name, 40 bytes, zero-terminated when shorter), version (its file version
// text, 20 bytes, zero-terminated when shorter).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

inline constexpr char kRemoteFileListName[] = "filelist.lst";

inline constexpr std::size_t kFileListCountSize = 4;
inline constexpr std::size_t kFileListSizeOffset = 0;
inline constexpr std::size_t kFileListDateOffset = 4;
inline constexpr std::size_t kFileListNameOffset = 12;
inline constexpr std::size_t kFileListNameSize = 40;
inline constexpr std::size_t kFileListVersionOffset = 52;
inline constexpr std::size_t kFileListVersionSize = 20;
inline constexpr std::size_t kFileListRecordSize = 72;
static_assert(kFileListDateOffset == kFileListSizeOffset + 4);
static_assert(kFileListNameOffset == kFileListDateOffset + 8);
static_assert(kFileListVersionOffset == kFileListNameOffset + kFileListNameSize);
static_assert(kFileListRecordSize == kFileListVersionOffset + kFileListVersionSize);

struct RemoteFileRecord {
  std::int32_t size = 0;
  double date = 0;
  std::string name;     // at most 40 characters are kept
  std::string version;  // at most 20 characters are kept

  bool operator==(const RemoteFileRecord&) const = default;
};

// The bytes of a list; longer names and versions are cut to their fields.
std::string EncodeFileList(const std::vector<RemoteFileRecord>& records);
// The records of a list; nullopt when the bytes are shorter than the count
// says or the count is negative. Bytes after the last record are ignored.
std::optional<std::vector<RemoteFileRecord>> DecodeFileList(std::string_view bytes);

}  // namespace brimwell
