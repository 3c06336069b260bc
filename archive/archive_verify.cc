#include "archive/archive_verify.h"

#include <algorithm>

#include "archive/archive_errors.h"
#include "archive/archive_reader.h"
#include "archive/member_inflater.h"

namespace brimwell {

ArchiveCheck VerifyArchive(ArchiveStream& file, std::int64_t offset, std::optional<std::int64_t> end,
                           const OpenArchiveDisk& open_disk) {
  ArchiveDirectory dir = ReadArchiveDirectory(file, offset, end);
  ArchiveCheck check;
  check.members = dir.headers.size();
  MemberInflater inflater;
  std::unique_ptr<ArchiveStream> first, later;
  for (const TFileHeader& h : dir.headers) {
    // A member of a multi-volume set starts on its own disk and may run on.
    const int start = std::max<int>(h.StartDisk, 1);
    ArchiveStream* in = &file;
    std::string reason;
    try {
      if (dir.prologue.MultiVolume && start != 1) {
        first = open_disk(start);
        in = first.get();
      }
      MemberInflater::Result r = inflater.Inflate(
          *in, h, offset,
          [&](int disk) -> ArchiveStream& {
            later = open_disk(disk);
            return *later;
          },
          [](std::span<const std::uint8_t>) {});
      if (r.too_long || r.bytes_out != h.FileSize) {
        reason = "inflates to " + std::string(r.too_long ? "more than" : std::to_string(r.bytes_out)) +
                 " bytes instead of " + std::to_string(h.FileSize);
      } else if (!r.stream_end) {
        reason = "its zlib stream is cut short (no checksum)";
      }
    } catch (const EBrwlCompress& e) {
      reason = e.what();
    }
    if (!reason.empty()) {
      check.fault = ArchiveFault{h.FileName, std::move(reason)};
      return check;
    }
    check.bytes += h.FileSize;
  }
  return check;
}

}  // namespace brimwell
