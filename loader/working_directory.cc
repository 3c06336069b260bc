#include "loader/working_directory.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "framework/exception.h"
#include "loader/loader_text.h"

namespace brimwell {
namespace {

constexpr char kTempPrefix[] = "bwl";
constexpr char kTempExtension[] = ".tmp";
constexpr int kTempExtensionLength = 4;
static_assert(sizeof kTempExtension - 1 == kTempExtensionLength);

}  // namespace

std::string TemporaryPath(const char* tmpdir) {
  std::string path = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  // The engine is started by the full path of its file in the working
  // directory, and the engine maps host paths to drive Z:, so a relative
  // TMPDIR is made absolute here.
  if (path.front() != '/') {
    std::vector<char> cwd(PATH_MAX + 1);
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) {
      std::string base = cwd.data();
      path = (base == "/" ? "" : base) + "/" + path;
    }
  }
  if (path.back() != '/') path += '/';
  return path;
}

std::string MakeWorkingDirectory(const std::string& temp_path) {
  std::string name = temp_path + kTempPrefix + "XXXXXX" + kTempExtension;
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  int fd = ::mkstemps(buffer.data(), kTempExtensionLength);
  if (fd < 0) throw Exception(kNoTemporaryDirectory);
  ::close(fd);
  std::string temp_file(buffer.data());

  std::string dir = TrimBlanks(temp_file.substr(0, temp_file.size() - kTempExtensionLength));
  if (dir.empty()) {
    ::unlink(temp_file.c_str());
    throw Exception(kNoTemporaryDirectory);
  }
  // The file keeps the unique name reserved until the directory exists.
  bool made = ::mkdir(dir.c_str(), 0700) == 0;
  ::unlink(temp_file.c_str());
  return made ? dir : temp_path;
}

std::int64_t FreeBytesAvailable(const std::string& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

void CheckFreeSpace(const std::string& working_dir, std::int64_t free_bytes) {
  if (free_bytes >= 0 && free_bytes < kMinimumFreeBytes) {
    throw Exception(FormatText(kNotEnoughFreeSpace,
                               {std::to_string(kMinimumFreeBytes), working_dir}));
  }
}

}  // namespace brimwell
