// An ArchiveStream over a file of the host, named by a host path. The loader
// and the developer's tool read and write archives through it; it needs only
// POSIX.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_stream.h"
#include "framework/date_time.h"

namespace brimwell {

class HostFile final : public ArchiveStream {
 public:
  enum class Mode {
    kRead,       // existing file, read only
    kReadWrite,  // existing file, read and write
    kCreate,     // created or truncated, read and write
  };

  // Opens `path`; nullptr when it cannot be opened (errno tells why).
  static std::unique_ptr<HostFile> Open(const std::string& path, Mode mode);
  ~HostFile() override;

  std::size_t Read(std::span<std::uint8_t> buffer) override;
  std::size_t Write(std::span<const std::uint8_t> data) override;
  void Seek(std::int64_t position) override;
  std::int64_t Position() override;
  std::int64_t Size() override;

  const std::string& Path() const { return path_; }
  // Sets the last-write time (local date-time); false on failure.
  bool SetFileDate(TDateTime date);
  // Adds the execute bits wherever the read bits are set; false on failure.
  bool MakeExecutable();

 private:
  HostFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

// Adds the execute bits wherever the read bits are set; false on failure.
bool MakeHostFileExecutable(const std::string& path);
// True when `path` names an existing regular file.
bool HostFileExists(const std::string& path);

}  // namespace brimwell
