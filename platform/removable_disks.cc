// The drives of the emulated machine and their disks: free space and size
// of fixed drives from the host, and removable drives whose disks are
// directories of the prefix ("disks/<letter>/<n>"), put in and taken out by
// switching the drive's link, with the capacity the prefix configures.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux_file_system.h"
#include "platform/linux_paths.h"

namespace brimwell {
namespace {

// The letter of a drive number as the disk-space calls take it (0 the
// current drive, 1 A: ... 26 Z:); 0 for a number out of range.
char DriveLetter(int drive, Paths& paths) {
  if (drive == 0) return paths.CurrentDirectory()[0];
  if (drive >= 1 && drive <= 26) return static_cast<char>('A' + drive - 1);
  return 0;
}

}  // namespace

std::int64_t BytesBelow(const std::filesystem::path& dir) {
  std::int64_t total = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st;
    if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) total += st.st_size;
  }
  return total;
}

std::int64_t LinuxFileSystem::DiskFree(int drive) {
  const char letter = DriveLetter(drive, paths_);
  if (letter == 0) return -1;
  if (auto it = config_.removable.find(letter); it != config_.removable.end()) {
    auto target = DriveTarget(prefix_, letter);
    struct stat st;
    if (!target || ::stat(target->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
    return std::max<std::int64_t>(0, it->second - BytesBelow(*target));
  }
  auto target = DriveTarget(prefix_, letter);
  if (!target) return -1;
  if (auto it = config_.free_bytes.find(letter); it != config_.free_bytes.end()) return it->second;
  struct statvfs vfs;
  if (::statvfs(target->c_str(), &vfs) != 0) return -1;
  return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
}

std::int64_t LinuxFileSystem::DiskSize(int drive) {
  const char letter = DriveLetter(drive, paths_);
  if (letter == 0) return -1;
  auto target = DriveTarget(prefix_, letter);
  if (auto it = config_.removable.find(letter); it != config_.removable.end()) {
    struct stat st;
    if (!target || ::stat(target->c_str(), &st) != 0) return -1;
    return it->second;
  }
  if (!target) return -1;
  struct statvfs vfs;
  if (::statvfs(target->c_str(), &vfs) != 0) return -1;
  return static_cast<std::int64_t>(vfs.f_blocks) * static_cast<std::int64_t>(vfs.f_frsize);
}

DriveType LinuxFileSystem::GetDriveType(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (config_.removable.count(letter)) return DriveType::kRemovable;
  auto target = DriveTarget(prefix_, letter);
  struct stat st;
  if (!target || ::stat(target->c_str(), &st) != 0) return DriveType::kNoRootDir;
  return DriveType::kFixed;
}

WinStatus LinuxFileSystem::InsertDisk(char letter, int disk) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (!config_.removable.count(letter)) return WinStatus::Error(kErrorInvalidDrive);
  if (disk < 1) return WinStatus::Error(kErrorInvalidParameter);
  std::string lower(1, static_cast<char>(letter - 'A' + 'a'));
  std::error_code ec;
  std::filesystem::create_directories(prefix_ / "disks" / lower / std::to_string(disk), ec);
  if (ec) return WinStatus::Error(WinErrorFromErrno(ec.value()));
  std::filesystem::create_directories(prefix_ / "dosdevices", ec);
  // A new link renamed over the old one: every process sees either disk,
  // never no drive.
  std::filesystem::path link = prefix_ / "dosdevices" / (lower + ":");
  std::filesystem::path temp = prefix_ / "dosdevices" / ("." + lower + ":" + std::to_string(::getpid()));
  ::unlink(temp.c_str());
  std::string target = "../disks/" + lower + "/" + std::to_string(disk);
  if (::symlink(target.c_str(), temp.c_str()) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
  if (::rename(temp.c_str(), link.c_str()) != 0) {
    WinError error = WinErrorFromErrno(errno);
    ::unlink(temp.c_str());
    return WinStatus::Error(error);
  }
  return WinStatus::Ok();
}

WinStatus LinuxFileSystem::EjectDisk(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (!config_.removable.count(letter)) return WinStatus::Error(kErrorInvalidDrive);
  std::filesystem::path link =
      prefix_ / "dosdevices" / (std::string(1, static_cast<char>(letter - 'A' + 'a')) + ":");
  if (::unlink(link.c_str()) != 0 && errno != ENOENT) return WinStatus::Error(WinErrorFromErrno(errno));
  return WinStatus::Ok();
}

std::optional<int> LinuxFileSystem::InsertedDisk(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (!config_.removable.count(letter)) return std::nullopt;
  auto target = DriveTarget(prefix_, letter);
  struct stat st;
  if (!target || ::stat(target->c_str(), &st) != 0) return std::nullopt;
  std::string name = target->filename().string();
  if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoi(name);
}

std::int64_t LinuxFileSystem::DiskCapacity(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  auto it = config_.removable.find(letter);
  return it == config_.removable.end() ? 0 : it->second;
}

}  // namespace brimwell
