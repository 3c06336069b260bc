#include "archive/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/archive_errors.h"
#include "archive/dos_time.h"

namespace brimwell {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
  throw EBrwlCompress(std::string(what) + " " + path + ": " + std::strerror(errno));
}

}  // namespace

std::unique_ptr<HostFile> HostFile::Open(const std::string& path, Mode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  return std::unique_ptr<HostFile>(new HostFile(fd, path));
}

HostFile::~HostFile() { ::close(fd_); }

std::size_t HostFile::Read(std::span<std::uint8_t> buffer) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) Fail("Read error on", path_);
  }
}

std::size_t HostFile::Write(std::span<const std::uint8_t> data) {
  for (;;) {
    ssize_t n = ::write(fd_, data.data(), data.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) return 0;  // a full medium
    Fail("Write error on", path_);
  }
}

void HostFile::Seek(std::int64_t position) {
  if (::lseek(fd_, position, SEEK_SET) < 0) Fail("Seek error on", path_);
}

std::int64_t HostFile::Position() {
  off_t p = ::lseek(fd_, 0, SEEK_CUR);
  if (p < 0) Fail("Seek error on", path_);
  return p;
}

std::int64_t HostFile::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("Cannot read the size of", path_);
  return st.st_size;
}

bool HostFile::SetFileDate(TDateTime date) {
  // Dates come from archive headers: refuse anything outside years 1..9999
  // (and NaN) rather than convert garbage.
  if (!IsUsableFileDate(date)) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = DateTimeToUnix(date);
  times[1].tv_nsec = 0;
  return ::futimens(fd_, times) == 0;
}

bool HostFile::MakeExecutable() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode |= (mode & 0444) >> 2;  // r bits shifted onto x bits
  return ::fchmod(fd_, mode) == 0;
}

bool MakeHostFileExecutable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  return ::chmod(path.c_str(), mode | (mode & 0444) >> 2) == 0;
}

bool HostFileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace brimwell
