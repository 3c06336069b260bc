// A fresh directory under the system's temporary directory for one test,
// removed with everything in it at the end, and plain reading and writing of
// host files. Tests write nowhere else.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brimwell::testing {

class TempDir {
 public:
  // Throws std::runtime_error when no directory can be made.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as text.
  std::string operator/(std::string_view name) const { return (path_ / name).string(); }
  // Writes `bytes` to `name` inside the directory; returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to a host file, making its folders; replaces what was there.
void WriteHostFile(const std::filesystem::path& path, std::string_view bytes);
// The bytes of a host file ("" when it cannot be read).
std::string ReadHostFile(const std::filesystem::path& path);

}  // namespace brimwell::testing
