#include "engine/remote_file_list.h"

#include <bit>
#include <cstring>

namespace brimwell {
namespace {

static_assert(std::endian::native == std::endian::little, "the list is read and written in host byte order");

std::string Field(std::string_view bytes, std::size_t size) {
  const std::string_view field = bytes.substr(0, size);
  return std::string(field.substr(0, field.find('\0')));
}

void PutField(char* out, std::string_view text, std::size_t size) {
  std::memcpy(out, text.data(), std::min(text.size(), size));
}

}  // namespace

std::string EncodeFileList(const std::vector<RemoteFileRecord>& records) {
  std::string bytes(kFileListCountSize + kFileListRecordSize * records.size(), '\0');
  const auto count = static_cast<std::int32_t>(records.size());
  std::memcpy(bytes.data(), &count, 4);
  char* out = bytes.data() + kFileListCountSize;
  for (const RemoteFileRecord& r : records) {
    std::memcpy(out + kFileListSizeOffset, &r.size, 4);
    std::memcpy(out + kFileListDateOffset, &r.date, 8);
    PutField(out + kFileListNameOffset, r.name, kFileListNameSize);
    PutField(out + kFileListVersionOffset, r.version, kFileListVersionSize);
    out += kFileListRecordSize;
  }
  return bytes;
}

std::optional<std::vector<RemoteFileRecord>> DecodeFileList(std::string_view bytes) {
  if (bytes.size() < kFileListCountSize) return std::nullopt;
  std::int32_t count = 0;
  std::memcpy(&count, bytes.data(), 4);
  if (count < 0) return std::nullopt;
  // Checked before anything is allocated for the records.
  if ((bytes.size() - kFileListCountSize) / kFileListRecordSize < static_cast<std::size_t>(count)) {
    return std::nullopt;
  }
  std::vector<RemoteFileRecord> records(static_cast<std::size_t>(count));
  std::string_view rest = bytes.substr(kFileListCountSize);
  for (RemoteFileRecord& r : records) {
    std::memcpy(&r.size, rest.data() + kFileListSizeOffset, 4);
    std::memcpy(&r.date, rest.data() + kFileListDateOffset, 8);
    r.name = Field(rest.substr(kFileListNameOffset), kFileListNameSize);
    r.version = Field(rest.substr(kFileListVersionOffset), kFileListVersionSize);
    rest.remove_prefix(kFileListRecordSize);
  }
  return records;
}

}  // namespace brimwell
