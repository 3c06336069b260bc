#include "platform/target_directory.h"

#include "platform/linux_file_system.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

// A target directory that joins each name to the directory's path and asks
// the file system as for any other path.
class JoinedTargetDirectory final : public TargetDirectory {
 public:
  JoinedTargetDirectory(FileSystem& files, std::string path)
      : files_(files), path_(std::move(path)) {}

  const std::string& Path() const override { return path_; }
  bool FileExists(std::string_view name) override { return files_.FileExists(Join(name)); }
  WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view name) override {
    return files_.CreateReplacement(Join(name));
  }
  // Every name is resolved anew through the path.
  bool StillAtPath() override { return files_.DirectoryExists(path_); }

 private:
  std::string Join(std::string_view name) const { return JoinWinPath(path_, name); }

  FileSystem& files_;
  std::string path_;
};

}  // namespace

WinResult<std::unique_ptr<TargetDirectory>> OpenTargetDirectory(FileSystem& files,
                                                                std::string_view path) {
  using Result = WinResult<std::unique_ptr<TargetDirectory>>;
  if (auto* own = dynamic_cast<LinuxFileSystem*>(&files)) return own->OpenTargetDirectory(path);
  if (!files.DirectoryExists(path)) return Result::Error(kErrorPathNotFound);
  return std::unique_ptr<TargetDirectory>(
      std::make_unique<JoinedTargetDirectory>(files, ExcludeTrailingBackslash(path)));
}

WinResult<std::unique_ptr<NewFile>> TargetDirectory::Adopt(std::unique_ptr<File>, std::string_view) {
  return WinResult<std::unique_ptr<NewFile>>::Error(kErrorNotSameDevice);
}

bool IsSameFile(FileSystem& files, File& file, std::string_view path) {
  auto* own = dynamic_cast<LinuxFileSystem*>(&files);
  return own != nullptr && own->IsSameFile(file, path);
}

}  // namespace brimwell
