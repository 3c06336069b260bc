// An ArchiveStream over a file of the host, named by a host path. The loader
// and the developer's tool read and write archives through it; it reaches
// the host through the host seam only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_stream.h"
#include "framework/date_time.h"
#include "host/host_env.h"

namespace brimwell {

class HostFile final : public ArchiveStream {
 public:
  enum class Mode {
    kRead,       // existing file, read only
    kReadWrite,  // existing file, read and write
    kCreate,     // created or truncated, read and write
    kCreateNew,  // created where no name exists (a link is not followed)
  };

  // Opens `path`; nullptr when it cannot be opened (errno tells why).
  static std::unique_ptr<HostFile> Open(const std::string& path, Mode mode,
                                        host::Env& env = host::Env::Default());
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
  // Locks the whole file (host::File::Lock); false when another open file
  // kept a lock in the way for `wait_ms` milliseconds, or on failure.
  bool Lock(bool exclusive, int wait_ms) { return !file_->Lock(exclusive, wait_ms); }

 private:
  HostFile(std::unique_ptr<host::File> file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}
  std::unique_ptr<host::File> file_;
  std::string path_;
};

// Adds the execute bits wherever the read bits are set; false on failure.
bool MakeHostFileExecutable(const std::string& path, host::Env& env = host::Env::Default());
// True when `path` names an existing regular file.
bool HostFileExists(const std::string& path, host::Env& env = host::Env::Default());

}  // namespace brimwell
