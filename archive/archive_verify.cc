#include "archive/archive_verify.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/member_inflater.h"

namespace brimwell {
namespace {

// Where the directory puts each byte, as far as the headers tell without
// inflating anything: the first member that overlaps another, or next to
// bytes that no member accounts for (two writers appending at the same
// place leave both). Positions are relative to the archive's start.
std::optional<ArchiveFault> CheckPlacement(const ArchiveDirectory& dir, std::int64_t length) {
  const std::vector<TFileHeader>& headers = dir.headers;
  if (!dir.prologue.MultiVolume) {
    // Prologue, then header, stream, header, stream ... to the end.
    std::int64_t pos = static_cast<std::int64_t>(kPrologueSize);
    for (const TFileHeader& h : headers) {
      const std::int64_t gap_before = h.DataPos - (pos + static_cast<std::int64_t>(kFileHeaderSize));
      if (gap_before > 0) {
        return ArchiveFault{h.FileName, std::to_string(gap_before) +
                                            " bytes between its header and its data are not accounted for"};
      }
      pos = h.NextHeaderPos;
      if (pos > h.EndPos + 1) {
        return ArchiveFault{h.FileName, std::to_string(pos - h.EndPos - 1) +
                                            " bytes after its data are not accounted for"};
      }
    }
    if (pos < length) {
      return ArchiveFault{headers.empty() ? std::string("(no member)") : headers.back().FileName,
                          std::to_string(length - pos) +
                              " bytes after the last member are not accounted for by the directory"};
    }
    return std::nullopt;
  }
  // A set of disks: the streams, each on its disks, must not share a byte.
  struct Extent {
    int disk;
    std::int64_t from, to;  // inclusive
    std::size_t member;
  };
  constexpr std::int64_t kToTheEnd = std::numeric_limits<std::int64_t>::max();
  std::vector<Extent> extents;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const TFileHeader& h = headers[i];
    const int start = std::max<int>(h.StartDisk & 0xFF, 1), end = std::max<int>(h.EndDisk & 0xFF, 1);
    if (h.CompressedSize == 0) continue;
    if (start == end) {
      extents.push_back({start, h.DataPos, h.EndPos, i});
      continue;
    }
    extents.push_back({start, h.DataPos, kToTheEnd, i});
    for (int d = start + 1; d < end; ++d) extents.push_back({d, 0, kToTheEnd, i});
    extents.push_back({end, 0, h.EndPos, i});
  }
  std::sort(extents.begin(), extents.end(),
            [](const Extent& a, const Extent& b) { return std::tie(a.disk, a.from) < std::tie(b.disk, b.from); });
  for (std::size_t k = 1; k < extents.size(); ++k) {
    const Extent& a = extents[k - 1];
    const Extent& b = extents[k];
    if (a.disk == b.disk && b.from <= a.to) {
      return ArchiveFault{headers[b.member].FileName, "its data overlaps that of " + headers[a.member].FileName};
    }
  }
  return std::nullopt;
}

}  // namespace

ArchiveCheck VerifyArchive(ArchiveStream& file, std::int64_t offset, std::optional<std::int64_t> end,
                           const OpenArchiveDisk& open_disk) {
  ArchiveDirectory dir = ReadArchiveDirectory(file, offset, end);
  ArchiveCheck check;
  check.members = dir.headers.size();
  if (auto misplaced = CheckPlacement(dir, end.value_or(file.Size()) - offset)) {
    check.fault = std::move(misplaced);
    return check;
  }
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
        reason = r.too_long ? "inflates to more than its " + std::to_string(h.FileSize) + " bytes"
                            : "inflates to " + std::to_string(r.bytes_out) + " bytes instead of " +
                                  std::to_string(h.FileSize);
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
