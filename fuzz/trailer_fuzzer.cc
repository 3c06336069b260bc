// Fuzzes the self-extracting trailer reader and the reading of the images it
// points at.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/archive_reader.h"
#include "archive/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brimwell;
  MemoryStream file(std::vector<std::uint8_t>(data, data + size));
  std::optional<SelfExtractTrailer> t = ReadSelfExtractTrailer(file);
  if (!t) return 0;
  (void)EncodeTrailer(*t);
  if (!TrailerFitsFile(*t, file.Size())) return 0;
  try {
    ReadArchiveDirectory(file, t->Setup1Start, static_cast<std::int64_t>(t->Setup1End) + 1);
  } catch (const EBrwlCompress&) {
  }
  if (t->HasFiles1()) {
    try {
      ReadArchiveDirectory(file, t->Files1Start, static_cast<std::int64_t>(t->Files1End) + 1);
    } catch (const EBrwlCompress&) {
    }
  }
  return 0;
}
