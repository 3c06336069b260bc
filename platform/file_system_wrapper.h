// A FileSystem that forwards every call to another one. A test derives from
// it and overrides only the call whose failure it needs to provoke.
#pragma once

#include "platform/file_system.h"

namespace brimwell {

class FileSystemWrapper : public FileSystem {
 public:
  // `target` must outlive the wrapper.
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}
  FileSystem& target() { return target_; }

  WinResult<std::unique_ptr<File>> Open(std::string_view path, FileAccess access, std::uint32_t share,
                                        FileDisposition disposition) override {
    return target_.Open(path, access, share, disposition);
  }
  WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view path) override {
    return target_.CreateReplacement(path);
  }
  bool FileExists(std::string_view path) override { return target_.FileExists(path); }
  bool DirectoryExists(std::string_view path) override { return target_.DirectoryExists(path); }
  WinStatus DeleteFile(std::string_view path) override { return target_.DeleteFile(path); }
  WinStatus CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) override {
    return target_.CopyFile(from, to, fail_if_exists);
  }
  WinStatus MoveFile(std::string_view from, std::string_view to) override {
    return target_.MoveFile(from, to);
  }
  WinStatus MoveFileEx(std::string_view from, std::string_view to, std::uint32_t flags) override {
    return target_.MoveFileEx(from, to, flags);
  }
  bool IsFileInUse(std::string_view path) override { return target_.IsFileInUse(path); }
  WinResult<std::uint64_t> FileSize(std::string_view path) override { return target_.FileSize(path); }
  WinResult<TDateTime> LastWriteTime(std::string_view path) override {
    return target_.LastWriteTime(path);
  }
  WinResult<FileSizeAndTime> SizeAndTime(std::string_view path) override { return target_.SizeAndTime(path); }
  WinStatus SetLastWriteTime(std::string_view path, TDateTime time) override {
    return target_.SetLastWriteTime(path, time);
  }
  WinResult<std::uint32_t> GetAttributes(std::string_view path) override {
    return target_.GetAttributes(path);
  }
  WinStatus SetAttributes(std::string_view path, std::uint32_t attributes) override {
    return target_.SetAttributes(path, attributes);
  }
  WinStatus CreateDirectory(std::string_view path) override { return target_.CreateDirectory(path); }
  bool ForceDirectories(std::string_view path) override { return target_.ForceDirectories(path); }
  WinStatus RemoveDirectory(std::string_view path) override { return target_.RemoveDirectory(path); }
  WinResult<std::vector<FindData>> FindFiles(std::string_view pattern) override {
    return target_.FindFiles(pattern);
  }
  std::string WindowsDirectory() override { return target_.WindowsDirectory(); }
  std::string SystemDirectory() override { return target_.SystemDirectory(); }
  std::string TempPath() override { return target_.TempPath(); }
  WinResult<std::string> GetTempFileName(std::string_view dir, std::string_view prefix,
                                         unsigned unique) override {
    return target_.GetTempFileName(dir, prefix, unique);
  }
  WinResult<std::string> GetShortPathName(std::string_view path) override {
    return target_.GetShortPathName(path);
  }
  WinResult<std::string> GetLongPathName(std::string_view path) override {
    return target_.GetLongPathName(path);
  }
  std::int64_t DiskFree(int drive) override { return target_.DiskFree(drive); }
  std::int64_t DiskSize(int drive) override { return target_.DiskSize(drive); }
  DriveType GetDriveType(char letter) override { return target_.GetDriveType(letter); }
  WinStatus InsertDisk(char letter, int disk) override { return target_.InsertDisk(letter, disk); }
  WinStatus EjectDisk(char letter) override { return target_.EjectDisk(letter); }
  std::optional<int> InsertedDisk(char letter) override { return target_.InsertedDisk(letter); }
  std::int64_t DiskCapacity(char letter) override { return target_.DiskCapacity(letter); }

 private:
  FileSystem& target_;
};

}  // namespace brimwell
