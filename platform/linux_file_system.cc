#include "platform/linux_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

#include "framework/text_case.h"
#include "platform/linux_paths.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/share_locks.h"
#include "platform/startup_sequence.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

// Hidden, system and archive have no host counterpart; they are kept in an
// extended attribute where the file system offers them.
constexpr char kAttributeXattr[] = "user.brimwell.attributes";
constexpr std::uint32_t kXattrBits = kFileAttributeHidden | kFileAttributeSystem | kFileAttributeArchive;

// --- Time ---------------------------------------------------------------

struct timespec ToTimespec(TDateTime time) {
  DateTimeParts parts = DecodeDateTime(time);
  int ms = parts.millisecond;
  parts.millisecond = 0;
  struct timespec ts;
  ts.tv_sec = DateTimeToUnix(EncodeDateTime(parts));
  ts.tv_nsec = static_cast<long>(ms) * 1000000L;
  return ts;
}

TDateTime FromTimespec(const struct timespec& ts) {
  return UnixToDateTime(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 86400e9;
}

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

std::string Hex4(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFFu);
  return buf;
}

// --- Open files ---------------------------------------------------------

// An open file (Base: File, or NewFile for a replacement).
template <class Base>
class LinuxFileOf : public Base {
 public:
  LinuxFileOf(int fd, std::string path, std::int64_t capacity, std::filesystem::path disk_root)
      : fd_(fd), path_(std::move(path)), capacity_(capacity), disk_root_(std::move(disk_root)) {}
  ~LinuxFileOf() override {
    if (fd_ >= 0) ::close(fd_);
  }

  IoResult Read(void* buffer, std::size_t size) override {
    IoResult result;
    char* out = static_cast<char*>(buffer);
    while (result.bytes < size) {
      ssize_t n = ::read(fd_, out + result.bytes, size - result.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        result.error = WinErrorFromErrno(errno);
        break;
      }
      if (n == 0) break;
      result.bytes += static_cast<std::size_t>(n);
    }
    return result;
  }

  IoResult Write(const void* data, std::size_t size) override {
    IoResult result;
    std::size_t allowed = size;
    if (capacity_ > 0) {
      // A removable disk holds at most its capacity: what would grow the
      // disk's files beyond it is not written, as on a full disk.
      struct stat st;
      off_t pos = ::lseek(fd_, 0, SEEK_CUR);
      if (::fstat(fd_, &st) == 0 && pos >= 0) {
        std::int64_t growth = std::max<std::int64_t>(0, pos + static_cast<std::int64_t>(size) - st.st_size);
        std::int64_t room = std::max<std::int64_t>(0, capacity_ - BytesBelow(disk_root_));
        if (growth > room) {
          allowed = static_cast<std::size_t>(
              std::max<std::int64_t>(0, static_cast<std::int64_t>(size) - (growth - room)));
        }
      }
    }
    const char* in = static_cast<const char*>(data);
    while (result.bytes < allowed) {
      ssize_t n = ::write(fd_, in + result.bytes, allowed - result.bytes);
      if (n < 0) {
        if (errno == EINTR) continue;
        result.error = WinErrorFromErrno(errno);
        return result;
      }
      result.bytes += static_cast<std::size_t>(n);
    }
    if (allowed < size) result.error = kErrorDiskFull;
    return result;
  }

  WinResult<std::uint64_t> Seek(std::int64_t offset, SeekOrigin origin) override {
    int whence = origin == SeekOrigin::kBegin ? SEEK_SET : origin == SeekOrigin::kCurrent ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(fd_, offset, whence);
    if (pos < 0) return WinResult<std::uint64_t>::Error(errno == EINVAL ? kErrorNegativeSeek : WinErrorFromErrno(errno));
    return static_cast<std::uint64_t>(pos);
  }

  WinResult<std::uint64_t> Position() override { return Seek(0, SeekOrigin::kCurrent); }

  WinResult<std::uint64_t> Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return WinResult<std::uint64_t>::Error(WinErrorFromErrno(errno));
    return static_cast<std::uint64_t>(st.st_size);
  }

  WinStatus SetEndOfFile() override {
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(fd_, pos) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
    return WinStatus::Ok();
  }

  WinStatus Flush() override {
    if (::fdatasync(fd_) != 0 && errno != EINVAL) return WinStatus::Error(WinErrorFromErrno(errno));
    return WinStatus::Ok();
  }

  WinResult<TDateTime> LastWriteTime() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return WinResult<TDateTime>::Error(WinErrorFromErrno(errno));
    return FromTimespec(st.st_mtim);
  }

  WinStatus SetLastWriteTime(TDateTime time) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = ToTimespec(time);
    if (::futimens(fd_, times) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
    return WinStatus::Ok();
  }

  const std::string& Path() const override { return path_; }

  int fd() const { return fd_; }

  WinStatus Lock(bool exclusive, int wait_ms) override {
    // flock rather than record locks: those stand for the sharing modes,
    // and flock belongs to this open file, so two handles of one process
    // exclude each other as two processes do.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      if (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return WinStatus::Ok();
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return WinStatus::Error(WinErrorFromErrno(errno));
      if (std::chrono::steady_clock::now() >= deadline) return WinStatus::Error(kErrorLockViolation);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

 protected:
  int fd_;
  std::string path_;
  std::int64_t capacity_;
  std::filesystem::path disk_root_;
};

using LinuxFile = LinuxFileOf<File>;

// The temporary name of a replacement: short, of our own, unique among the
// processes and the calls of this one, and never longer than the host allows.
std::string TempName(unsigned counter) {
  const auto pid = static_cast<unsigned>(::getpid());
  return ".~" + Hex4(pid >> 16) + Hex4(pid) + Hex4(counter) + ".tmp";
}

// Gives the unnamed file `fd` (made with O_TMPFILE) the name `name` in the
// directory `dir_fd`, never replacing anything there. -1 with errno set on
// failure (EEXIST when the name is taken).
int LinkUnnamed(int fd, int dir_fd, const char* name) {
  // The descriptor itself is linked where the kernel lets the file's opener
  // do so (Linux 6.10 on, or with the privilege); else through /proc, which
  // costs a path lookup.
  static std::atomic<bool> by_descriptor = true;
  const bool tried = by_descriptor;
  if (tried) {
    if (::linkat(fd, "", dir_fd, name, AT_EMPTY_PATH) == 0) return 0;
    // Refused (ENOENT, or EPERM): tried through /proc, and that way kept
    // when it works, as the refusal was the kernel's and not the name's.
    if (errno != EPERM && errno != ENOENT && errno != EINVAL) return -1;
  }
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, proc, dir_fd, name, AT_SYMLINK_FOLLOW) != 0) return -1;
  if (tried) by_descriptor = false;
  return 0;
}

// A directory opened once for many new files (see TargetDirectory): its
// handle, and the names in it by upper-cased form, read when a name is first
// looked up without case and read again whenever the directory changed
// otherwise than through the files made here.
class OpenDirectory {
 public:
  OpenDirectory(int fd, std::filesystem::path host) : fd_(fd), host_(std::move(host)) {
    struct stat st;
    if (::fstat(fd_, &st) == 0) dev_ = st.st_dev;
  }
  ~OpenDirectory() { ::close(fd_); }
  OpenDirectory(const OpenDirectory&) = delete;
  OpenDirectory& operator=(const OpenDirectory&) = delete;

  int fd() const { return fd_; }
  const std::filesystem::path& host() const { return host_; }
  dev_t dev() const { return dev_; }

  // A new file without a name in the directory (O_TMPFILE), -1 where the
  // file system cannot make one; after the first refusal it is not asked
  // again. Safe on any thread.
  int CreateUnnamed() {
    if (!unnamed_files_) return -1;
    int fd = ::openat(fd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) unnamed_files_ = false;
    return fd;
  }

  // The name under which `name` is stored (the exact name first, else one
  // differing only in case, the first in byte order); empty when none.
  // While the directory is unchanged since it was listed or since this
  // process last named a file in it, the listing answers alone: a name
  // absent from it is free without asking the file system, which would
  // otherwise look it up twice, here and again when the file is named.
  std::string StoredName(const std::string& name) {
    struct stat dir;
    if (::fstat(fd_, &dir) != 0) return std::string();
    struct stat st;
    if (!listed_ || !SameTime(dir)) {
      if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
      if (errno != ENOENT) return std::string();
      Relist(dir);
    }
    auto it = names_.find(name);
    if (it == names_.end()) return std::string();
    // The exact name may be stored beside one differing in case that sorts
    // first.
    if (it->second != name && ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    return it->second;
  }

  // A file was given `name` here by this process.
  void NoteCreated(const std::string& name) {
    if (!listed_) return;
    std::string& stored = names_.try_emplace(name).first->second;
    if (stored.empty() || name < stored) stored = name;
    struct stat st;
    if (::fstat(fd_, &st) == 0) {
      mtime_ = st.st_mtim;
    } else {
      listed_ = false;
    }
  }

 private:
  bool SameTime(const struct stat& st) const {
    return st.st_mtim.tv_sec == mtime_.tv_sec && st.st_mtim.tv_nsec == mtime_.tv_nsec;
  }

  void Relist(const struct stat& st) {
    names_.clear();
    mtime_ = st.st_mtim;
    listed_ = true;
    int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
    if (d == nullptr) {
      if (fd >= 0) ::close(fd);
      return;
    }
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      std::string& stored = names_.try_emplace(n).first->second;
      if (stored.empty() || n < stored) stored = std::move(n);
    }
    ::closedir(d);
  }

  int fd_;
  std::filesystem::path host_;
  dev_t dev_ = 0;
  std::atomic<bool> unnamed_files_ = true;
  bool listed_ = false;
  struct timespec mtime_ {};
  // The names in the directory without regard to case (WinUpperCase folds
  // ASCII letters only), each with the first in byte order of its forms.
  std::unordered_map<std::string, std::string, SameTextHash, SameTextEqual> names_;
};

// A file without a name made ahead of its naming (TargetDirectory::
// CreateUnnamed): gone with its handle unless a directory on the same file
// system (`dev`) adopts it.
class LinuxUnnamedFile final : public LinuxFileOf<File> {
 public:
  LinuxUnnamedFile(int fd, std::string dir_path, dev_t dev)
      : LinuxFileOf<File>(fd, std::move(dir_path), 0, {}), dev_(dev) {}
  dev_t dev() const { return dev_; }
  // Hands the descriptor over; this object holds nothing after.
  int Release() { return std::exchange(fd_, -1); }

 private:
  dev_t dev_;
};

// A replacement in the making, renamed over `final` by Commit and removed
// when dropped uncommitted: either `temp` beside `final`, or, for a name
// found free in an open directory, a file without a name (`temp` empty)
// that the directory shows only once it is whole. Made in an open
// directory, the names are used relative to it, and a final name believed
// free is taken without replacing anything that appeared there meanwhile.
class LinuxNewFile final : public LinuxFileOf<NewFile> {
 public:
  LinuxNewFile(int fd, std::string path, std::int64_t capacity, std::filesystem::path disk_root,
               std::filesystem::path temp, std::filesystem::path final_path, Paths& paths,
               std::atomic<unsigned>& temp_counter, std::shared_ptr<OpenDirectory> dir = nullptr,
               bool final_free = false)
      : LinuxFileOf<NewFile>(fd, std::move(path), capacity, std::move(disk_root)),
        temp_(std::move(temp)),
        final_(std::move(final_path)),
        paths_(paths),
        temp_counter_(temp_counter),
        dir_(std::move(dir)),
        final_free_(final_free) {}
  ~LinuxNewFile() override {
    if (committed_ || temp_.empty()) return;  // an unnamed file goes with its handle
    if (dir_) {
      ::unlinkat(dir_->fd(), temp_.filename().c_str(), 0);
    } else {
      ::unlink(temp_.c_str());
    }
  }

  WinStatus Commit(bool executable) override {
    if (fd_ < 0) return WinStatus::Error(kErrorInvalidHandle);
    struct stat st;
    if (executable && ::fstat(fd_, &st) == 0) {
      mode_t mode = st.st_mode & 07777;
      (void)::fchmod(fd_, mode | (mode & 0444) >> 2);  // a failure shows when it is started
    }
    if (temp_.empty()) return CommitUnnamed();
    // A failed close can be a failed write-back: the file is not whole.
    int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return WinStatus::Error(WinErrorFromErrno(errno));
    if (dir_ && final_free_) {
      // Nothing stood at the name a moment ago: take it unless something
      // appeared there since, which then passes the checks below.
      if (::renameat2(dir_->fd(), temp_.filename().c_str(), dir_->fd(),
                      final_.filename().c_str(), RENAME_NOREPLACE) == 0) {
        return Committed();
      }
      if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) {
        return WinStatus::Error(WinErrorFromErrno(errno));
      }
    }
    return ReplaceFinal();
  }

 private:
  // Links the unnamed file at the final name, which was free; if something
  // appeared there meanwhile, it gets a temporary name and replaces that
  // as any replacement does.
  WinStatus CommitUnnamed() {
    const std::string name = final_.filename().string();
    if (LinkUnnamed(fd_, dir_->fd(), name.c_str()) == 0) {
      // A failed close can be a failed write-back: the file is not whole.
      if (CloseHandle() != 0) {
        const int error = errno;
        ::unlinkat(dir_->fd(), name.c_str(), 0);
        return WinStatus::Error(WinErrorFromErrno(error));
      }
      return Committed();
    }
    if (errno != EEXIST) return WinStatus::Error(WinErrorFromErrno(errno));
    for (int attempt = 0;; ++attempt) {
      std::string temp = TempName(temp_counter_++);
      if (LinkUnnamed(fd_, dir_->fd(), temp.c_str()) == 0) {
        temp_ = dir_->host() / temp;
        break;
      }
      if (errno != EEXIST || attempt > 100) return WinStatus::Error(WinErrorFromErrno(errno));
    }
    if (CloseHandle() != 0) return WinStatus::Error(WinErrorFromErrno(errno));
    return ReplaceFinal();
  }

  int CloseHandle() {
    int closed = ::close(fd_);
    fd_ = -1;
    return closed;
  }

  // Renames the closed temporary file over the final name. What stands
  // there gives way as on Windows it would to a new file: not a directory,
  // a read-only file or a file in use. A link is replaced by the rename
  // itself, never followed.
  WinStatus ReplaceFinal() {
    struct stat st;
    if (::lstat(final_.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && IsReadOnly(st))) {
        return WinStatus::Error(kErrorAccessDenied);
      }
      if (S_ISREG(st.st_mode) && FileInUse(final_)) return WinStatus::Error(kErrorSharingViolation);
    }
    int renamed = dir_ ? ::renameat(dir_->fd(), temp_.filename().c_str(), dir_->fd(),
                                    final_.filename().c_str())
                       : ::rename(temp_.c_str(), final_.c_str());
    if (renamed != 0) return WinStatus::Error(WinErrorFromErrno(errno));
    return Committed();
  }

  WinStatus Committed() {
    committed_ = true;
    paths_.NoteCreated(final_);
    if (dir_) dir_->NoteCreated(final_.filename().string());
    return WinStatus::Ok();
  }

  std::filesystem::path temp_;
  std::filesystem::path final_;
  Paths& paths_;
  std::atomic<unsigned>& temp_counter_;
  std::shared_ptr<OpenDirectory> dir_;
  bool final_free_;
  bool committed_ = false;
};

// Creates a temporary file in the directory `dir_fd` (AT_FDCWD: `dir` is the
// host directory); its name goes to `temp`. -1 with the error set on failure.
int CreateTemp(int dir_fd, const std::filesystem::path& dir, std::atomic<unsigned>& counter,
               std::filesystem::path& temp, WinError& error) {
  for (int attempt = 0;; ++attempt) {
    std::string name = TempName(counter++);
    temp = dir / name;
    int fd = ::openat(dir_fd, dir_fd == AT_FDCWD ? temp.c_str() : name.c_str(),
                      O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST || attempt > 100) {
      error = errno == ENOENT ? kErrorPathNotFound : WinErrorFromErrno(errno);
      return -1;
    }
  }
}

// TargetDirectory of the Linux file system.
class LinuxTargetDirectory final : public TargetDirectory {
 public:
  LinuxTargetDirectory(std::shared_ptr<OpenDirectory> dir, std::string path, Paths& paths,
                       std::atomic<unsigned>& temp_counter, std::int64_t capacity,
                       std::filesystem::path disk_root)
      : dir_(std::move(dir)),
        path_(std::move(path)),
        paths_(paths),
        temp_counter_(temp_counter),
        capacity_(capacity),
        disk_root_(std::move(disk_root)) {}

  const std::string& Path() const override { return path_; }

  bool StillAtPath() override {
    struct stat held, named;
    try {
      return ::fstat(dir_->fd(), &held) == 0 && ::stat(paths_.ToHost(path_).c_str(), &named) == 0 &&
             S_ISDIR(named.st_mode) && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    } catch (const EPlatformError&) {
      return false;  // its drive is gone
    }
  }

  std::unique_ptr<File> CreateUnnamed() override {
    // Not on a removable disk, whose room is measured by the files in its
    // folder.
    if (capacity_ != 0) return nullptr;
    int fd = dir_->CreateUnnamed();
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxUnnamedFile>(fd, path_, dir_->dev());
  }

  WinResult<std::unique_ptr<NewFile>> Adopt(std::unique_ptr<File> file, std::string_view name) override {
    using Result = WinResult<std::unique_ptr<NewFile>>;
    CheckName(name);
    auto* unnamed = dynamic_cast<LinuxUnnamedFile*>(file.get());
    if (unnamed == nullptr || capacity_ != 0 || unnamed->dev() != dir_->dev()) {
      return Result::Error(kErrorNotSameDevice);
    }
    std::string stored =
        tested_name_ == name ? std::move(tested_stored_) : dir_->StoredName(std::string(name));
    tested_name_.clear();
    // Named at Commit: at the name if it is still free, else under a
    // temporary name that then replaces what stands there.
    const bool free = stored.empty();
    if (free) stored = std::string(name);
    return std::unique_ptr<NewFile>(std::make_unique<LinuxNewFile>(
        unnamed->Release(), JoinWinPath(path_, name), capacity_, disk_root_, std::filesystem::path(),
        dir_->host() / stored, paths_, temp_counter_, dir_, free));
  }

  bool FileExists(std::string_view name) override {
    CheckName(name);
    // The answer serves the creation of the same name that follows the test.
    tested_name_ = std::string(name);
    tested_stored_ = dir_->StoredName(tested_name_);
    struct stat st;
    return !tested_stored_.empty() &&
           ::fstatat(dir_->fd(), tested_stored_.c_str(), &st, 0) == 0 && !S_ISDIR(st.st_mode);
  }

  WinResult<std::unique_ptr<NewFile>> CreateReplacement(std::string_view name) override {
    using Result = WinResult<std::unique_ptr<NewFile>>;
    CheckName(name);
    std::string stored =
        tested_name_ == name ? std::move(tested_stored_) : dir_->StoredName(std::string(name));
    tested_name_.clear();
    // A name found free is taken only if it still is (see Commit).
    const bool free = stored.empty();
    if (free) stored = std::string(name);
    std::filesystem::path temp;
    // A new name is written as a file without a name, which the directory
    // shows only once whole: no temporary name to rename, nothing left
    // behind if the process dies. Not on a removable disk, whose room is
    // measured by the files in its folder.
    int fd = free && capacity_ == 0 ? dir_->CreateUnnamed() : -1;
    if (fd < 0) {
      WinError error = kErrorSuccess;
      fd = CreateTemp(dir_->fd(), dir_->host(), temp_counter_, temp, error);
      if (fd < 0) return Result::Error(error);
    }
    return std::unique_ptr<NewFile>(std::make_unique<LinuxNewFile>(
        fd, JoinWinPath(path_, name), capacity_, disk_root_, std::move(temp),
        dir_->host() / stored, paths_, temp_counter_, dir_, free));
  }

 private:
  static void CheckName(std::string_view name) {
    if (name.empty() || name.find_first_of("\\/") != std::string_view::npos || name == "." ||
        name == "..") {
      throw EPathError("Not a file name in a directory: " + std::string(name));
    }
  }

  std::shared_ptr<OpenDirectory> dir_;
  std::string path_;
  Paths& paths_;
  std::atomic<unsigned>& temp_counter_;
  std::int64_t capacity_;
  std::filesystem::path disk_root_;
  std::string tested_name_, tested_stored_;  // the last name tested and where it is stored
};

}  // namespace

WinError WinErrorFromErrno(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EEXIST: return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EAGAIN: return kErrorLockViolation;
    case EXDEV: return kErrorNotSameDevice;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBADF: return kErrorInvalidHandle;
    case EINVAL: return kErrorInvalidParameter;
    case EIO: return kErrorWriteFault;
    case ELOOP: return kErrorBadPathname;
    default: return kErrorInvalidFunction;
  }
}

LinuxFileSystem::LinuxFileSystem(std::filesystem::path prefix, const PrefixConfig& config,
                                 Paths& paths, Registry& registry)
    : prefix_(std::move(prefix)),
      config_(config),
      paths_(paths),
      linux_paths_(dynamic_cast<LinuxPaths*>(&paths)),
      registry_(registry) {}

bool LinuxFileSystem::StatPath(std::string_view path, std::filesystem::path& host, struct stat& st) {
  if (linux_paths_ != nullptr) {
    Paths::Seen seen;
    host = linux_paths_->ToHost(path, seen, st);
    if (seen == Paths::Seen::kFile || seen == Paths::Seen::kDirectory) return true;
  } else {
    host = paths_.ToHost(path);
  }
  return ::stat(host.c_str(), &st) == 0;
}

WinError LinuxFileSystem::MissingError(const std::filesystem::path& host) {
  std::string text = host.string();
  if (text.find("/" + std::string(kNoDiskFolder)) != std::string::npos &&
      text.compare(0, (prefix_ / "disks").string().size(), (prefix_ / "disks").string()) == 0) {
    return kErrorNotReady;
  }
  struct stat st;
  std::filesystem::path parent = host.parent_path();
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kErrorFileNotFound;
  return kErrorPathNotFound;
}

std::int64_t LinuxFileSystem::RemovableCapacity(std::string_view path,
                                                std::filesystem::path& disk_root) {
  std::string full = paths_.FullPath(path);
  auto letter = WinDriveLetter(full);
  if (!letter) return 0;
  auto it = config_.removable.find(*letter);
  if (it == config_.removable.end()) return 0;
  auto target = DriveTarget(prefix_, *letter);
  if (!target) return 0;
  disk_root = *target;
  return it->second;
}

WinResult<std::unique_ptr<File>> LinuxFileSystem::Open(std::string_view path, FileAccess access,
                                                       std::uint32_t share,
                                                       FileDisposition disposition) {
  using Result = WinResult<std::unique_ptr<File>>;
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  bool exists = ::stat(host.c_str(), &st) == 0;
  bool want_read = access != FileAccess::kWrite;
  bool want_write = access != FileAccess::kRead;
  if (exists && S_ISDIR(st.st_mode)) return Result::Error(kErrorAccessDenied);
  switch (disposition) {
    case FileDisposition::kCreateNew:
      if (exists) return Result::Error(kErrorFileExists);
      break;
    case FileDisposition::kOpenExisting:
    case FileDisposition::kTruncateExisting:
      if (!exists) return Result::Error(MissingError(host));
      break;
    default: break;
  }
  bool truncate = disposition == FileDisposition::kCreateAlways ||
                  disposition == FileDisposition::kTruncateExisting;
  if (exists && (want_write || truncate) && IsReadOnly(st)) return Result::Error(kErrorAccessDenied);

  int flags = O_CLOEXEC | O_NOCTTY;
  // Read access too when writing, so that the share marks (read locks) can
  // be taken on the handle.
  flags |= want_write || truncate ? O_RDWR : O_RDONLY;
  if (disposition != FileDisposition::kOpenExisting && disposition != FileDisposition::kTruncateExisting) {
    flags |= O_CREAT;
  }
  if (disposition == FileDisposition::kCreateNew) flags |= O_EXCL;
  int fd = ::open(host.c_str(), flags, 0666);
  if (fd < 0 && errno == EACCES && (flags & O_RDWR)) {
    fd = ::open(host.c_str(), (flags & ~O_RDWR) | O_WRONLY, 0666);
  }
  if (fd < 0) {
    WinError error = errno == ENOENT ? MissingError(host) : WinErrorFromErrno(errno);
    return Result::Error(error);
  }
  bool created = !exists;
  if (exists) {
    bool conflict = (want_read && LockedByOthers(fd, kLockDenyRead, 1)) ||
                    (want_write && LockedByOthers(fd, kLockDenyWrite, 1)) ||
                    (!(share & kShareRead) && LockedByOthers(fd, kLockReadAccess, 1)) ||
                    (!(share & kShareWrite) && LockedByOthers(fd, kLockWriteAccess, 1));
    if (conflict) {
      ::close(fd);
      return Result::Error(kErrorSharingViolation);
    }
  }
  if (want_read) MarkShared(fd, kLockReadAccess);
  if (want_write) MarkShared(fd, kLockWriteAccess);
  if (!(share & kShareRead)) MarkShared(fd, kLockDenyRead);
  if (!(share & kShareWrite)) MarkShared(fd, kLockDenyWrite);
  if (!(share & kShareDelete)) MarkShared(fd, kLockDenyDelete);
  if (truncate && exists && ::ftruncate(fd, 0) != 0) {
    WinError error = WinErrorFromErrno(errno);
    ::close(fd);
    return Result::Error(error);
  }
  if (created) paths_.NoteCreated(host);
  std::filesystem::path disk_root;
  std::int64_t capacity = RemovableCapacity(path, disk_root);
  return std::unique_ptr<File>(
      std::make_unique<LinuxFile>(fd, paths_.FullPath(path), capacity, std::move(disk_root)));
}

WinResult<std::unique_ptr<NewFile>> LinuxFileSystem::CreateReplacement(std::string_view path) {
  using Result = WinResult<std::unique_ptr<NewFile>>;
  const std::filesystem::path host = paths_.ToHost(path);
  std::filesystem::path temp;
  WinError error = kErrorSuccess;
  int fd = CreateTemp(AT_FDCWD, host.parent_path(), temp_counter_, temp, error);
  if (fd < 0) return Result::Error(error);
  std::filesystem::path disk_root;
  std::int64_t capacity = RemovableCapacity(path, disk_root);
  return std::unique_ptr<NewFile>(std::make_unique<LinuxNewFile>(fd, paths_.FullPath(path), capacity,
                                                                std::move(disk_root), std::move(temp),
                                                                host, paths_, temp_counter_));
}

WinResult<std::unique_ptr<TargetDirectory>> LinuxFileSystem::OpenTargetDirectory(
    std::string_view path) {
  using Result = WinResult<std::unique_ptr<TargetDirectory>>;
  const std::string full = ExcludeTrailingBackslash(paths_.FullPath(path));
  const std::filesystem::path host = paths_.ToHost(full);
  int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return Result::Error(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound
                                                             : WinErrorFromErrno(errno));
  }
  std::filesystem::path disk_root;
  std::int64_t capacity = RemovableCapacity(full, disk_root);
  return std::unique_ptr<TargetDirectory>(std::make_unique<LinuxTargetDirectory>(
      std::make_shared<OpenDirectory>(fd, host), full, paths_, temp_counter_, capacity,
      std::move(disk_root)));
}

bool LinuxFileSystem::IsSameFile(File& file, std::string_view path) {
  auto* own = dynamic_cast<LinuxFile*>(&file);
  if (own == nullptr) return false;
  struct stat held, named;
  try {
    std::filesystem::path host;
    if (::fstat(own->fd(), &held) != 0 || !StatPath(path, host, named)) return false;
  } catch (const EPlatformError&) {
    return false;  // a path the machine cannot map names nothing
  }
  return held.st_dev == named.st_dev && held.st_ino == named.st_ino && held.st_size == named.st_size &&
         held.st_mtim.tv_sec == named.st_mtim.tv_sec && held.st_mtim.tv_nsec == named.st_mtim.tv_nsec;
}

bool LinuxFileSystem::FileExists(std::string_view path) {
  Paths::Seen seen;
  std::filesystem::path host = paths_.ToHost(path, seen);
  if (seen != Paths::Seen::kUnknown) return seen == Paths::Seen::kFile;
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool LinuxFileSystem::DirectoryExists(std::string_view path) {
  Paths::Seen seen;
  std::filesystem::path host = paths_.ToHost(path, seen);
  if (seen != Paths::Seen::kUnknown) return seen == Paths::Seen::kDirectory;
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

WinStatus LinuxFileSystem::DeleteFile(std::string_view path) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return WinStatus::Error(MissingError(host));
  if (S_ISDIR(st.st_mode)) return WinStatus::Error(kErrorAccessDenied);
  if (S_ISREG(st.st_mode)) {
    if (IsReadOnly(st)) return WinStatus::Error(kErrorAccessDenied);
    if (FileInUse(host)) return WinStatus::Error(kErrorSharingViolation);
  }
  if (::unlink(host.c_str()) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
  paths_.NoteRemoved(host);
  return WinStatus::Ok();
}

WinStatus LinuxFileSystem::CopyFile(std::string_view from, std::string_view to, bool fail_if_exists) {
  auto source = Open(from, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
  if (!source) return source.status();
  std::filesystem::path from_host = paths_.ToHost(from);
  std::filesystem::path to_host = paths_.ToHost(to);
  struct stat from_st, to_st;
  if (::stat(from_host.c_str(), &from_st) == 0 && ::stat(to_host.c_str(), &to_st) == 0 &&
      from_st.st_dev == to_st.st_dev && from_st.st_ino == to_st.st_ino) {
    return WinStatus::Error(fail_if_exists ? kErrorFileExists : kErrorSharingViolation);
  }
  auto target = Open(to, FileAccess::kWrite, kShareNone,
                     fail_if_exists ? FileDisposition::kCreateNew : FileDisposition::kCreateAlways);
  if (!target) return target.status();
  std::vector<char> buffer(1 << 16);
  while (true) {
    IoResult read = (*source)->Read(buffer.data(), buffer.size());
    if (!read.ok()) {
      target->reset();
      (void)DeleteFile(to);
      return WinStatus::Error(read.error);
    }
    if (read.bytes == 0) break;
    IoResult written = (*target)->Write(buffer.data(), read.bytes);
    if (!written.ok() || written.bytes < read.bytes) {
      // A copy that does not fit leaves no partial file behind.
      target->reset();
      (void)DeleteFile(to);
      return WinStatus::Error(written.ok() ? kErrorDiskFull : written.error);
    }
  }
  if (auto time = (*source)->LastWriteTime()) (void)(*target)->SetLastWriteTime(*time);
  target->reset();
  // The host mode carries the read-only attribute and the execute bits of
  // programs.
  if (::stat(from_host.c_str(), &from_st) == 0) {
    ::chmod(paths_.ToHost(to).c_str(), from_st.st_mode & 07777);
  }
  char value[16];
  ssize_t n = ::getxattr(from_host.c_str(), kAttributeXattr, value, sizeof value - 1);
  if (n > 0) ::setxattr(paths_.ToHost(to).c_str(), kAttributeXattr, value, static_cast<size_t>(n), 0);
  return WinStatus::Ok();
}

WinStatus LinuxFileSystem::MoveHost(const std::filesystem::path& from, const std::filesystem::path& to,
                                    bool replace, bool copy_allowed, std::string_view from_path,
                                    std::string_view to_path) {
  struct stat from_st, to_st;
  if (::lstat(from.c_str(), &from_st) != 0) return WinStatus::Error(MissingError(from));
  if (S_ISREG(from_st.st_mode) && HeldOpen(from)) return WinStatus::Error(kErrorSharingViolation);
  if (::lstat(to.c_str(), &to_st) == 0) {
    bool same = from_st.st_dev == to_st.st_dev && from_st.st_ino == to_st.st_ino;
    if (!same) {
      if (!replace) return WinStatus::Error(kErrorAlreadyExists);
      if (S_ISDIR(to_st.st_mode) || S_ISDIR(from_st.st_mode)) return WinStatus::Error(kErrorAccessDenied);
      if (IsReadOnly(to_st)) return WinStatus::Error(kErrorAccessDenied);
      if (FileInUse(to)) return WinStatus::Error(kErrorSharingViolation);
    }
  } else {
    struct stat parent;
    if (::stat(to.parent_path().c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode)) {
      return WinStatus::Error(MissingError(to.parent_path()) == kErrorNotReady ? kErrorNotReady
                                                                               : kErrorPathNotFound);
    }
  }
  if (::rename(from.c_str(), to.c_str()) == 0) {
    paths_.NoteRemoved(from);
    paths_.NoteCreated(to);
    return WinStatus::Ok();
  }
  if (errno != EXDEV) return WinStatus::Error(WinErrorFromErrno(errno));
  if (S_ISDIR(from_st.st_mode) || !copy_allowed) return WinStatus::Error(kErrorNotSameDevice);
  if (WinStatus copied = CopyFile(from_path, to_path, false); !copied) return copied;
  return DeleteFile(from_path);
}

std::filesystem::path LinuxFileSystem::MoveTarget(const std::filesystem::path& from_host, std::string_view to) {
  std::filesystem::path to_host = paths_.ToHost(to);
  struct stat from_st, to_st;
  if (::lstat(from_host.c_str(), &from_st) == 0 && ::lstat(to_host.c_str(), &to_st) == 0 &&
      from_st.st_dev == to_st.st_dev && from_st.st_ino == to_st.st_ino) {
    // The target names the source in another letter case: a rename that
    // changes the case takes the name as given.
    return to_host.parent_path() / ExtractFileName(ExcludeTrailingBackslash(to));
  }
  return to_host;
}

WinStatus LinuxFileSystem::MoveFile(std::string_view from, std::string_view to) {
  std::filesystem::path from_host = paths_.ToHost(from);
  return MoveHost(from_host, MoveTarget(from_host, to), false, true, from, to);
}

WinStatus LinuxFileSystem::MoveFileEx(std::string_view from, std::string_view to, std::uint32_t flags) {
  if (flags & kMoveDelayUntilReboot) return ScheduleMove(from, to, (flags & kMoveReplaceExisting) != 0);
  if (to.empty()) return WinStatus::Error(kErrorInvalidParameter);
  std::filesystem::path from_host = paths_.ToHost(from);
  return MoveHost(from_host, MoveTarget(from_host, to), (flags & kMoveReplaceExisting) != 0,
                  (flags & kMoveCopyAllowed) != 0, from, to);
}

WinStatus LinuxFileSystem::ScheduleMove(std::string_view from, std::string_view to, bool replace) {
  if (config_.windows != WindowsFamily::kNT351 && config_.windows != WindowsFamily::kNT4) {
    return WinStatus::Error(kErrorCallNotImplemented);
  }
  // The list Windows keeps: pairs of "\??\"-prefixed paths; an empty target
  // deletes, a "!" before the target replaces an existing file.
  std::string source = "\\??\\" + paths_.FullPath(from);
  std::string target;
  if (!to.empty()) target = std::string(replace ? "!" : "") + "\\??\\" + paths_.FullPath(to);
  std::vector<std::string> list;
  if (auto value = registry_.QueryValue(RegistryHive::kLocalMachine, kSessionManagerKey,
                                        kPendingRenamesValue);
      value && value->type == RegistryValueType::kMultiString) {
    list = value->AsMultiString(kPendingRenamesValue);
  }
  list.push_back(source);
  list.push_back(target);
  if (WinStatus s = registry_.CreateKey(RegistryHive::kLocalMachine, kSessionManagerKey); !s) return s;
  if (WinStatus s = registry_.SetValue(RegistryHive::kLocalMachine, kSessionManagerKey,
                                       kPendingRenamesValue, RegistryValue::MultiString(list));
      !s) {
    return s;
  }
  return registry_.Flush();
}

bool LinuxFileSystem::IsFileInUse(std::string_view path) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return FileInUse(host);
}

WinResult<std::uint64_t> LinuxFileSystem::FileSize(std::string_view path) {
  std::filesystem::path host;
  struct stat st;
  if (!StatPath(path, host, st)) return WinResult<std::uint64_t>::Error(MissingError(host));
  if (S_ISDIR(st.st_mode)) return WinResult<std::uint64_t>::Error(kErrorAccessDenied);
  return static_cast<std::uint64_t>(st.st_size);
}

WinResult<TDateTime> LinuxFileSystem::LastWriteTime(std::string_view path) {
  std::filesystem::path host;
  struct stat st;
  if (!StatPath(path, host, st)) return WinResult<TDateTime>::Error(MissingError(host));
  return FromTimespec(st.st_mtim);
}

WinResult<FileSizeAndTime> LinuxFileSystem::SizeAndTime(std::string_view path) {
  std::filesystem::path host;
  struct stat st;
  if (!StatPath(path, host, st)) return WinResult<FileSizeAndTime>::Error(MissingError(host));
  if (S_ISDIR(st.st_mode)) return WinResult<FileSizeAndTime>::Error(kErrorAccessDenied);
  return FileSizeAndTime{static_cast<std::uint64_t>(st.st_size), FromTimespec(st.st_mtim)};
}

WinStatus LinuxFileSystem::SetLastWriteTime(std::string_view path, TDateTime time) {
  std::filesystem::path host = paths_.ToHost(path);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = ToTimespec(time);
  if (::utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) {
    return WinStatus::Error(errno == ENOENT ? MissingError(host) : WinErrorFromErrno(errno));
  }
  return WinStatus::Ok();
}

WinResult<std::uint32_t> LinuxFileSystem::GetAttributes(std::string_view path) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return WinResult<std::uint32_t>::Error(MissingError(host));
  std::uint32_t attributes = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : 0;
  if (IsReadOnly(st)) attributes |= kFileAttributeReadOnly;
  char value[16];
  ssize_t n = ::getxattr(host.c_str(), kAttributeXattr, value, sizeof value - 1);
  if (n > 0) {
    value[n] = '\0';
    attributes |= static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10)) & kXattrBits;
  } else if (!S_ISDIR(st.st_mode)) {
    attributes |= kFileAttributeArchive;  // a file written since the last backup
  }
  if (host.filename().string().starts_with(".")) attributes |= kFileAttributeHidden;
  return attributes == 0 ? kFileAttributeNormal : attributes;
}

WinStatus LinuxFileSystem::SetAttributes(std::string_view path, std::uint32_t attributes) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return WinStatus::Error(MissingError(host));
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kFileAttributeReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  if (::chmod(host.c_str(), mode) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
  std::string value = std::to_string(attributes & kXattrBits);
  // File systems without user attributes keep only the read-only bit.
  (void)::setxattr(host.c_str(), kAttributeXattr, value.data(), value.size(), 0);
  return WinStatus::Ok();
}

WinStatus LinuxFileSystem::CreateDirectory(std::string_view path) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0) return WinStatus::Error(kErrorAlreadyExists);
  if (::mkdir(host.c_str(), 0777) != 0) {
    return WinStatus::Error(errno == ENOENT ? (MissingError(host.parent_path()) == kErrorNotReady
                                                   ? kErrorNotReady
                                                   : kErrorPathNotFound)
                                            : WinErrorFromErrno(errno));
  }
  paths_.NoteCreated(host);
  return WinStatus::Ok();
}

bool LinuxFileSystem::ForceDirectories(std::string_view path) {
  if (path.empty()) return false;
  std::string full = ExcludeTrailingBackslash(paths_.FullPath(path));
  // Mostly the directory is there already (every file of a folder asks).
  if (DirectoryExists(full)) return true;
  // Each level from the root down; a level that exists is passed over.
  for (std::size_t i = 3; i <= full.size(); ++i) {
    if (i < full.size() && full[i] != '\\') continue;
    std::string level = full.substr(0, i);
    if (!DirectoryExists(level)) (void)CreateDirectory(level);
  }
  return DirectoryExists(full);
}

WinStatus LinuxFileSystem::RemoveDirectory(std::string_view path) {
  std::filesystem::path host = paths_.ToHost(path);
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return WinStatus::Error(MissingError(host));
  if (!S_ISDIR(st.st_mode)) return WinStatus::Error(kErrorDirectory);
  if (::rmdir(host.c_str()) != 0) return WinStatus::Error(WinErrorFromErrno(errno));
  paths_.NoteRemoved(host);
  return WinStatus::Ok();
}

WinResult<std::vector<FindData>> LinuxFileSystem::FindFiles(std::string_view pattern) {
  using Result = WinResult<std::vector<FindData>>;
  std::string dir = ExtractFilePath(pattern);
  std::string mask = ExtractFileName(pattern);
  if (mask.empty()) mask = "*";
  std::filesystem::path host = paths_.ToHost(dir.empty() ? std::string_view(".") : std::string_view(dir));
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Result::Error(::stat(host.c_str(), &st) == 0 ? kErrorDirectory
                                                        : (MissingError(host) == kErrorNotReady
                                                               ? kErrorNotReady
                                                               : kErrorPathNotFound));
  }
  std::vector<FindData> found;
  DIR* d = ::opendir(host.c_str());
  if (d == nullptr) return Result::Error(WinErrorFromErrno(errno));
  std::string windows_dir = dir.empty() ? paths_.CurrentDirectory() : dir;
  while (struct dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || !WinMatchesMask(name, mask)) continue;
    FindData data;
    data.name = name;
    std::filesystem::path entry = host / name;
    struct stat est;
    if (::stat(entry.c_str(), &est) != 0) continue;  // a dangling link
    data.size = S_ISDIR(est.st_mode) ? 0 : static_cast<std::uint64_t>(est.st_size);
    data.last_write_time = FromTimespec(est.st_mtim);
    data.attributes = GetAttributes(JoinWinPath(windows_dir, name)).value_or(0);
    found.push_back(std::move(data));
  }
  ::closedir(d);
  std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) {
    int c = WinCompareNames(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return found;
}

std::string LinuxFileSystem::WindowsDirectory() { return config_.windows_directory; }

std::string LinuxFileSystem::SystemDirectory() {
  bool nt = config_.windows == WindowsFamily::kNT351 || config_.windows == WindowsFamily::kNT4;
  return JoinWinPath(config_.windows_directory, nt ? "SYSTEM32" : "SYSTEM");
}

std::string LinuxFileSystem::TempPath() {
  ForceDirectories(config_.temp_directory);
  return IncludeTrailingBackslash(config_.temp_directory);
}

WinResult<std::string> LinuxFileSystem::GetTempFileName(std::string_view dir, std::string_view prefix,
                                                        unsigned unique) {
  using Result = WinResult<std::string>;
  std::string full_dir = paths_.FullPath(dir);
  std::filesystem::path host_dir = paths_.ToHost(full_dir);
  struct stat st;
  if (::stat(host_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Result::Error(kErrorDirectory);
  std::string stem(prefix.substr(0, 3));
  auto name_for = [&](unsigned n) { return stem + Hex4(n) + ".tmp"; };
  if (unique != 0) return JoinWinPath(full_dir, name_for(unique));

  // Numbers from a start that differs between processes and calls, taken
  // when no file of that name exists in any letter case; the exclusive
  // create settles races with other processes.
  auto ticks = static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() / 1000000);
  unsigned start = (static_cast<unsigned>(::getpid()) * 2654435761u) ^ ticks ^ (temp_counter_++ * 7919u);
  for (unsigned i = 0; i < 0x10000; ++i) {
    unsigned n = (start + i) & 0xFFFFu;
    if (n == 0) continue;
    std::string name = name_for(n);
    std::string windows_name = JoinWinPath(full_dir, name);
    if (FileExists(windows_name) || DirectoryExists(windows_name)) continue;
    std::filesystem::path host = host_dir / name;
    int fd = ::open(host.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      paths_.NoteCreated(host);
      return windows_name;
    }
    if (errno != EEXIST) return Result::Error(WinErrorFromErrno(errno));
  }
  return Result::Error(kErrorFileExists);
}

WinResult<std::string> LinuxFileSystem::GetShortPathName(std::string_view path) {
  std::string full = paths_.FullPath(path);
  std::filesystem::path host = paths_.ToHost(full);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return WinResult<std::string>::Error(MissingError(host));
  // The prefix's volumes have no 8.3 names: the short form is the long one.
  return full;
}

WinResult<std::string> LinuxFileSystem::GetLongPathName(std::string_view path) {
  std::string full = paths_.FullPath(path);
  std::filesystem::path host = paths_.ToHost(full);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return WinResult<std::string>::Error(MissingError(host));
  // The drive part as given, each component as stored.
  std::string stored = paths_.ToWindows(host);
  if (WinDriveLetter(stored) == WinDriveLetter(full)) return stored;
  return full;
}

}  // namespace brimwell
