// The loader's working directory: a fresh directory private to this user in
// the temporary directory, named "bwl" and six unique characters, into which
// the presetup files are unpacked; and the check that the file system
// holding it has room for them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/host_env.h"

namespace brimwell {

inline constexpr char kNoTemporaryDirectory[] =
    "LOADER: Could not find the temporary directory on this computer";
inline constexpr char kCannotMakeWorkingDirectory[] =
    "LOADER: Could not make a private working directory in the temporary directory %s: %s";
inline constexpr char kNotEnoughFreeSpace[] =
    "You should have at least %d bytes free on the disk where your temporary directory, %s, is "
    "located. Please clear off some space and then run the install again";
inline constexpr std::int64_t kMinimumFreeBytes = 8000000;

// The temporary directory, absolute, with a trailing "/": TMPDIR when set
// and not empty, else "/tmp/". A relative TMPDIR counts from the current
// directory.
std::string TemporaryPath(host::Env& env = host::Env::Default());

// Makes a new directory "bwl??????" in `temp_path`, mode 0700, and returns
// it. It never falls back to `temp_path` itself: throws
// Exception(kNoTemporaryDirectory) when `temp_path` does not exist, else
// Exception(kCannotMakeWorkingDirectory) naming it and the reason.
std::string MakeWorkingDirectory(const std::string& temp_path, host::Env& env = host::Env::Default());

// Free bytes available to this user on the file system holding `path`, or
// -1 when it cannot be queried.
std::int64_t FreeBytesAvailable(const std::string& path, host::Env& env = host::Env::Default());

// Throws Exception(kNotEnoughFreeSpace) when `free_bytes` is at least 0 and
// below kMinimumFreeBytes; a negative answer (not known) passes.
void CheckFreeSpace(const std::string& working_dir, std::int64_t free_bytes);

}  // namespace brimwell
