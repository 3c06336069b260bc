// Checking an archive without writing anything: every member's stream is
// inflated and its size compared with its header. `brimwell archive verify`
// runs it; it needs only the reading layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive_stream.h"

namespace brimwell {

// The first member found unsound, and why.
struct ArchiveFault {
  std::string member;  // its FileName
  std::string reason;  // "inflates to 3 bytes instead of 4", ...
};

struct ArchiveCheck {
  std::size_t members = 0;  // headers read
  std::int64_t bytes = 0;   // their FileSize, summed over the sound ones
  std::optional<ArchiveFault> fault;
};

// Opens disk file `n` (2, 3, ...) of a multi-volume set; throws
// EBrwlCompress when it cannot.
using OpenArchiveDisk = std::function<std::unique_ptr<ArchiveStream>(int n)>;

// Checks the archive that starts at `offset` of `file` (and ends at `end`
// when it is an embedded image). Stops at the first unsound member. Throws
// EBrwlCompress when the directory itself cannot be read.
ArchiveCheck VerifyArchive(ArchiveStream& file, std::int64_t offset, std::optional<std::int64_t> end,
                           const OpenArchiveDisk& open_disk);

}  // namespace brimwell
