// Fuzz target for the reader of the remote file list (filelist.lst): any
// bytes are either refused or read into records that write back to bytes
// reading to the same records.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/remote_file_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto records = brimwell::DecodeFileList(bytes);
  if (!records) return 0;
  if (bytes.size() < 4 + records->size() * brimwell::kFileListRecordSize) std::abort();
  auto again = brimwell::DecodeFileList(brimwell::EncodeFileList(*records));
  if (!again || again->size() != records->size()) std::abort();
  for (std::size_t i = 0; i < records->size(); ++i) {
    const auto& a = (*records)[i];
    const auto& b = (*again)[i];
    // Dates compare by their bytes: a list may hold NaN.
    if (a.size != b.size || a.name != b.name || a.version != b.version ||
        std::memcmp(&a.date, &b.date, sizeof a.date) != 0) {
      std::abort();
    }
    if (a.name.size() > brimwell::kFileListNameSize || a.version.size() > brimwell::kFileListVersionSize) {
      std::abort();
    }
  }
  return 0;
}
