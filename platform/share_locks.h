// The locks that stand for Windows sharing modes on the host: testing for
// and setting them, and the tests that say whether a file is in use.
#pragma once

#include <cstdint>
#include <filesystem>

namespace brimwell {

// True when a lock of another open file description (of any process)
// conflicts with a write lock on [start, start + length); length 0 means to
// the end of all offsets.
bool LockedByOthers(int fd, std::int64_t start, std::int64_t length);

// Marks the byte at `offset` as held by this handle (a shared lock).
void MarkShared(int fd, std::int64_t offset);

// A handle of the file is open without delete sharing, or some process
// holds a lock on its bytes.
bool HeldOpen(const std::filesystem::path& host);

// Some process runs the file as its program.
bool BeingExecuted(const std::filesystem::path& host);

// Held open or being executed: deleting or replacing the file fails.
bool FileInUse(const std::filesystem::path& host);

}  // namespace brimwell
