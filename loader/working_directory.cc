#include "loader/working_directory.h"

#include "framework/exception.h"
#include "loader/loader_text.h"

namespace brimwell {
namespace {

constexpr char kTempPrefix[] = "bwl";
constexpr char kTempExtension[] = ".tmp";
constexpr int kTempExtensionLength = 4;
static_assert(sizeof kTempExtension - 1 == kTempExtensionLength);

}  // namespace

std::string TemporaryPath(host::Env& env) {
  std::string path = env.TemporaryDirectory();
  if (path.back() != '/') path += '/';
  return path;
}

std::string MakeWorkingDirectory(const std::string& temp_path, host::Env& env) {
  host::Result<std::string> made = env.MakeUniqueFile(temp_path, kTempPrefix, kTempExtension);
  if (!made) throw Exception(kNoTemporaryDirectory);
  const std::string& temp_file = *made;

  std::string dir = TrimBlanks(temp_file.substr(0, temp_file.size() - kTempExtensionLength));
  if (dir.empty()) {
    (void)env.RemoveFile(temp_file);
    throw Exception(kNoTemporaryDirectory);
  }
  // The file keeps the unique name reserved until the directory exists.
  bool made_dir = !env.MakeDirectory(dir, /*private_to_user=*/true);
  (void)env.RemoveFile(temp_file);
  return made_dir ? dir : temp_path;
}

std::int64_t FreeBytesAvailable(const std::string& path, host::Env& env) {
  host::Result<std::int64_t> bytes = env.FreeBytes(path);
  return bytes ? *bytes : -1;
}

void CheckFreeSpace(const std::string& working_dir, std::int64_t free_bytes) {
  if (free_bytes >= 0 && free_bytes < kMinimumFreeBytes) {
    throw Exception(FormatText(kNotEnoughFreeSpace,
                               {std::to_string(kMinimumFreeBytes), working_dir}));
  }
}

}  // namespace brimwell
