#include "loader/working_directory.h"

#include "framework/exception.h"
#include "framework/format.h"
#include "loader/loader_text.h"

namespace brimwell {
namespace {

constexpr char kTempPrefix[] = "bwl";

}  // namespace

std::string TemporaryPath(host::Env& env) {
  std::string path = env.TemporaryDirectory();
  if (path.back() != '/') path += '/';
  return path;
}

std::string MakeWorkingDirectory(const std::string& temp_path, host::Env& env) {
  std::string parent = temp_path;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  // mkdtemp makes a new directory, mode 0700, under a name nobody held
  // before: nothing another user planted in a shared temporary directory
  // (a link, a directory of the same name) is ever used.
  host::Result<std::string> made = env.MakeTemporaryDirectory(parent, kTempPrefix);
  if (made) return *made;
  if (made.error() == std::errc::no_such_file_or_directory || made.error() == std::errc::not_a_directory) {
    throw Exception(kNoTemporaryDirectory);
  }
  throw Exception(Format(kCannotMakeWorkingDirectory, {temp_path, made.error().message()}));
}

std::int64_t FreeBytesAvailable(const std::string& path, host::Env& env) {
  host::Result<std::int64_t> bytes = env.FreeBytes(path);
  return bytes ? *bytes : -1;
}

void CheckFreeSpace(const std::string& working_dir, std::int64_t free_bytes) {
  if (free_bytes >= 0 && free_bytes < kMinimumFreeBytes) {
    throw Exception(Format(kNotEnoughFreeSpace,
                               {kMinimumFreeBytes, working_dir}));
  }
}

}  // namespace brimwell
