// The file service over a prefix on Linux (see file_system.h).
//
// Sharing: every open handle marks its access and share mode with open file
// description locks on bytes far beyond any real file size, so that other
// handles, in this process or another, see them: a handle that denies
// writing holds a read lock on the "deny write" byte, and an opener that
// wants to write tests that byte first. A file is in use for deleting when a
// handle denies deleting, when any process holds a lock (fcntl or flock) on
// its real bytes, or when it is being executed.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/target_directory.h"
#include "platform/prefix_config.h"

namespace brimwell {

class LinuxPaths;
class Paths;
class Registry;

// Byte offsets of the share-mode marks. Far above any file size the platform
// supports, below the largest off_t.
inline constexpr std::int64_t kShareLockBase = 0x7FFFFFFF00000000LL;
inline constexpr std::int64_t kLockReadAccess = kShareLockBase + 0;
inline constexpr std::int64_t kLockWriteAccess = kShareLockBase + 1;
inline constexpr std::int64_t kLockDenyRead = kShareLockBase + 2;
inline constexpr std::int64_t kLockDenyWrite = kShareLockBase + 3;
inline constexpr std::int64_t kLockDenyDelete = kShareLockBase + 4;

class LinuxFileSystem final : public FileSystem {
 public:
  // Every reference must outlive the service. `registry` receives delayed
  // moves; `config` gives the Windows family, directories and drives.
  LinuxFileSystem(std::filesystem::path prefix, const PrefixConfig& config, Paths& paths,
                  Registry& registry);

  WinResult<std::unique_ptr<File>> Open(std::string_view path, FileAccess access, std::uint32_t share,
                                        FileDisposition disposition) override;
  WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view path) override;
  bool FileExists(std::string_view path) override;
  bool DirectoryExists(std::string_view path) override;
  WinStatus DeleteFile(std::string_view path) override;
  WinStatus CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override;
  WinStatus MoveFile(std::string_view from, std::string_view to) override;
  WinStatus MoveFileEx(std::string_view from, std::string_view to, std::uint32_t flags) override;
  bool IsFileInUse(std::string_view path) override;
  WinResult<std::uint64_t> FileSize(std::string_view path) override;
  WinResult<TDateTime> LastWriteTime(std::string_view path) override;
  WinResult<FileSizeAndTime> SizeAndTime(std::string_view path) override;
  WinStatus SetLastWriteTime(std::string_view path, TDateTime time) override;
  WinResult<std::uint32_t> GetAttributes(std::string_view path) override;
  WinStatus SetAttributes(std::string_view path, std::uint32_t attributes) override;
  WinStatus CreateDirectory(std::string_view path) override;
  bool ForceDirectories(std::string_view path) override;
  WinStatus RemoveDirectory(std::string_view path) override;
  WinResult<std::vector<FindData>> FindFiles(std::string_view pattern) override;
  std::string WindowsDirectory() override;
  std::string SystemDirectory() override;
  std::string TempPath() override;
  WinResult<std::string> GetTempFileName(std::string_view dir, std::string_view prefix,
                                         unsigned unique) override;
  WinResult<std::string> GetShortPathName(std::string_view path) override;
  WinResult<std::string> GetLongPathName(std::string_view path) override;
  std::int64_t DiskFree(int drive) override;
  std::int64_t DiskSize(int drive) override;
  DriveType GetDriveType(char letter) override;
  WinStatus InsertDisk(char letter, int disk) override;
  WinStatus EjectDisk(char letter) override;
  std::optional<int> InsertedDisk(char letter) override;
  std::int64_t DiskCapacity(char letter) override;

  // See OpenTargetDirectory and IsSameFile (target_directory.h).
  WinResult<std::unique_ptr<TargetDirectory>> OpenTargetDirectory(std::string_view path);
  bool IsSameFile(File& file, std::string_view path);

 private:
  // The error for a host path that does not exist: file or path not found
  // (or not ready, for a removable drive without disk).
  WinError MissingError(const std::filesystem::path& host);
  // The host path of `path` into `host` and, when it exists, its status
  // (links followed) into `st`: true then, false with errno set otherwise.
  // The translation's own look at the entry serves where it can.
  bool StatPath(std::string_view path, std::filesystem::path& host, struct stat& st);
  // The removable capacity of the drive of a Windows path, 0 if not removable;
  // `disk_root` receives the folder of the inserted disk.
  std::int64_t RemovableCapacity(std::string_view path, std::filesystem::path& disk_root);
  WinStatus MoveHost(const std::filesystem::path& from, const std::filesystem::path& to,
                     bool replace, bool copy_allowed, std::string_view from_path,
                     std::string_view to_path);
  // The host path a move to `to` writes (see MoveFile).
  std::filesystem::path MoveTarget(const std::filesystem::path& from_host, std::string_view to);
  WinStatus ScheduleMove(std::string_view from, std::string_view to, bool replace);

  std::filesystem::path prefix_;
  const PrefixConfig& config_;
  Paths& paths_;
  LinuxPaths* linux_paths_;  // paths_ when it is the Linux service (not a test's wrapper)
  Registry& registry_;
  std::atomic<unsigned> temp_counter_ = 0;
};

// Win32 error code for an errno value of a file operation.
WinError WinErrorFromErrno(int error);

// Bytes held by the files below `dir` (the fill of a removable disk).
std::int64_t BytesBelow(const std::filesystem::path& dir);

}  // namespace brimwell
