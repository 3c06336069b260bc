// Fuzzes the archive directory reader and member inflation: the input is an
// archive file (or a self-extracting program whose trailer locates one).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/archive_reader.h"
#include "archive/member_inflater.h"
#include "archive/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brimwell;
  MemoryStream file(std::vector<std::uint8_t>(data, data + size));
  std::int64_t offset = 0;
  std::optional<std::int64_t> end;
  if (std::optional<SelfExtractTrailer> t = ReadSelfExtractTrailer(file);
      t && TrailerFitsFile(*t, file.Size())) {
    offset = t->Setup1Start;
    end = static_cast<std::int64_t>(t->Setup1End) + 1;
  }
  try {
    ArchiveDirectory dir = ReadArchiveDirectory(file, offset, end);
    FileIDTable ids;
    ids.Build(dir.headers);
    MemberInflater inflater;
    for (const TFileHeader& h : dir.headers) {
      (void)FindMemberByName(dir.headers, h.FileName);
      (void)ids.Lookup(h.FileID);
      // Later disks of a multi-volume set are this same file again.
      std::int64_t produced = 0;
      try {
        inflater.Inflate(
            file, h, offset, [&](int) -> ArchiveStream& { return file; },
            [&](std::span<const std::uint8_t> block) {
              produced += static_cast<std::int64_t>(block.size());
              if (produced > h.FileSize) __builtin_trap();
            });
      } catch (const EBrwlCompress&) {
      }
    }
  } catch (const EBrwlCompress&) {
  }
  return 0;
}
