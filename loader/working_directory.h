// The loader's working directory: a fresh directory in the temporary
// directory, named after a unique temporary file name with the prefix "bwl",
// into which the presetup files are unpacked; and the check that the file
// system holding it has room for them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/host_env.h"

namespace brimwell {

inline constexpr char kNoTemporaryDirectory[] =
    "LOADER: Could not find the temporary directory on this computer";
inline constexpr char kNotEnoughFreeSpace[] =
    "You should have at least %d bytes free on the disk where your temporary directory, %s, is "
    "located. Please clear off some space and then run the install again";
inline constexpr std::int64_t kMinimumFreeBytes = 8000000;

// The temporary directory, absolute, with a trailing "/": TMPDIR when set
// and not empty, else "/tmp/". A relative TMPDIR counts from the current
// directory.
std::string TemporaryPath(host::Env& env = host::Env::Default());

// Makes a unique temporary file "bwl??????.tmp" in `temp_path`, creates the
// directory named like it without the extension, and deletes the file. Returns
// the new directory, or `temp_path` itself when the directory cannot be made.
// Throws Exception(kNoTemporaryDirectory) when no temporary file can be made
// there (a missing or unwritable temporary directory).
std::string MakeWorkingDirectory(const std::string& temp_path, host::Env& env = host::Env::Default());

// Free bytes available to this user on the file system holding `path`, or
// -1 when it cannot be queried.
std::int64_t FreeBytesAvailable(const std::string& path, host::Env& env = host::Env::Default());

// Throws Exception(kNotEnoughFreeSpace) when `free_bytes` is at least 0 and
// below kMinimumFreeBytes; a negative answer (not known) passes.
void CheckFreeSpace(const std::string& working_dir, std::int64_t free_bytes);

}  // namespace brimwell
