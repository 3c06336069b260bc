// The host seam over POSIX and Linux system calls.
#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <random>
#include <thread>

#include "host/host_env.h"

extern char** environ;

namespace brimwell::host {
namespace {

// Where the kernel shows the running executable, even after it was renamed.
constexpr char kOwnExecutable[] = "/proc/self/exe";
// The descriptor that tells a detached copy when this process has gone
// keeps this number there.
constexpr int kWatchedFd = 3;
constexpr int kTemporaryNameAttempts = 16;
constexpr std::size_t kReadChunk = 1 << 16;
constexpr std::chrono::milliseconds kLockPoll{20};

std::error_code LastError() { return ErrnoError(errno); }

// The termination signals: interrupt, hang-up, termination.
constexpr int kTerminationSignals[] = {SIGINT, SIGHUP, SIGTERM};
// How long a wait that passes signals on sleeps between looks at the program.
constexpr long kPassSignalsPollNs = 50'000'000;

// The last termination signal caught; written by the handler only.
volatile sig_atomic_t caught_signal = 0;

void RecordTerminationSignal(int signal_number) { caught_signal = signal_number; }

sigset_t TerminationSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kTerminationSignals) sigaddset(&set, s);
  return set;
}

// Sets the last-write time of an open file, leaving its access time alone.
std::error_code SetModificationTimeOf(int fd, std::int64_t unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(unix_seconds);
  times[1].tv_nsec = 0;
  return ::futimens(fd, times) == 0 ? std::error_code() : LastError();
}

// Read and write bits copied onto the execute bits.
mode_t WithExecute(mode_t mode) {
  mode &= 07777;
  return mode | ((mode & 0444) >> 2);
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  Result<std::size_t> Read(std::span<std::uint8_t> buffer) override {
    for (;;) {
      ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return LastError();
    }
  }

  Result<std::size_t> Write(std::span<const std::uint8_t> data) override {
    for (;;) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return LastError();
    }
  }

  std::error_code Seek(std::int64_t position) override {
    return ::lseek(fd_, position, SEEK_SET) < 0 ? LastError() : std::error_code();
  }

  Result<std::int64_t> Position() override {
    off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) return LastError();
    return static_cast<std::int64_t>(p);
  }

  Result<std::int64_t> Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return LastError();
    return static_cast<std::int64_t>(st.st_size);
  }

  std::error_code SetModificationTime(std::int64_t unix_seconds) override {
    return SetModificationTimeOf(fd_, unix_seconds);
  }

  std::error_code MakeExecutable() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return LastError();
    return ::fchmod(fd_, WithExecute(st.st_mode)) == 0 ? std::error_code() : LastError();
  }

  std::error_code Lock(bool exclusive, int wait_ms) override {
    // flock rather than record locks: they belong to this open file, not
    // to the process, so two opens in one process exclude each other too.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      if (::flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return {};
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return LastError();
      if (std::chrono::steady_clock::now() >= deadline) return ErrnoError(EWOULDBLOCK);
      std::this_thread::sleep_for(kLockPoll);
    }
  }

 private:
  int fd_;
};

Result<std::unique_ptr<File>> OpenFd(const char* path, int flags) {
  int fd = ::open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) return LastError();
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return ErrnoError(error);
  }
  return std::unique_ptr<File>(std::make_unique<PosixFile>(fd));
}

std::error_code WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) return ErrnoError(ENOSPC);
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

class PosixAtomicFile final : public AtomicFile {
 public:
  PosixAtomicFile(int fd, std::string temp, std::string final_path)
      : fd_(fd), temp_(std::move(temp)), final_(std::move(final_path)) {}
  ~PosixAtomicFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }

  std::error_code Append(std::string_view data) override {
    if (fd_ < 0) return ErrnoError(EBADF);
    return WriteAll(fd_, data);
  }

  std::error_code SetModificationTime(std::int64_t unix_seconds) override {
    if (fd_ < 0) return ErrnoError(EBADF);
    return SetModificationTimeOf(fd_, unix_seconds);
  }

  std::error_code Commit(std::optional<unsigned> mode) override {
    if (fd_ < 0) return ErrnoError(EBADF);
    std::error_code error;
    if (mode && ::fchmod(fd_, static_cast<mode_t>(*mode)) != 0) error = LastError();
    // A failed close can be a failed write-back: the file is not whole.
    if (::close(fd_) != 0 && !error) error = LastError();
    fd_ = -1;
    if (error) return error;
    if (::rename(temp_.c_str(), final_.c_str()) != 0) return LastError();
    committed_ = true;
    return {};
  }

 private:
  int fd_;
  std::string temp_;
  std::string final_;
  bool committed_ = false;
};

std::string JoinDir(const std::string& dir, std::string_view name) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

// Waits until process `pid` has ended: on its pidfd when there is one,
// else by polling (kernels before 5.3).
void WaitForExit(int pidfd, pid_t pid) {
  if (pidfd >= 0) {
    struct pollfd p {pidfd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(pidfd);
    return;
  }
  while (::kill(pid, 0) == 0 || errno == EPERM) ::usleep(50000);
}

// This process's environment with `changes` applied, as "NAME=value" texts.
std::vector<std::string> MergedEnvironment(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> merged;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string_view entry(*e);
    bool replaced = false;
    for (const auto& change : changes) {
      if (entry.size() > change.first.size() && entry.starts_with(change.first) &&
          entry[change.first.size()] == '=') {
        replaced = true;
        break;
      }
    }
    if (!replaced) merged.emplace_back(entry);
  }
  for (const auto& [name, value] : changes) merged.push_back(name + "=" + value);
  return merged;
}

// Writes an errno value into the status pipe and ends the process; only
// async-signal-safe calls are allowed between fork and exec.
[[noreturn]] void ReportAndExit(int fd, int error) {
  (void)!::write(fd, &error, sizeof error);
  ::_exit(127);
}

class PosixEnv final : public Env {
 public:
  Result<std::unique_ptr<File>> OpenFile(const std::string& path, OpenMode mode) override {
    int flags = 0;
    switch (mode) {
      case OpenMode::kRead: flags = O_RDONLY; break;
      case OpenMode::kReadWrite: flags = O_RDWR; break;
      case OpenMode::kCreate: flags = O_RDWR | O_CREAT | O_TRUNC; break;
      case OpenMode::kCreateNew: flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    return OpenFd(path.c_str(), flags);
  }

  Result<std::string> ReadFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return LastError();
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return ErrnoError(EISDIR);
    }
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[kReadChunk];
    for (;;) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        std::error_code error = LastError();
        ::close(fd);
        return error;
      }
      if (n == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
  }

  std::error_code WriteFile(const std::string& path, std::string_view data) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return LastError();
    std::error_code error = WriteAll(fd, data);
    if (::close(fd) != 0 && !error) error = LastError();
    return error;
  }

  Result<std::unique_ptr<AtomicFile>> NewAtomicFile(const std::string& path) override {
    std::random_device random;
    char suffix[32];
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      std::snprintf(suffix, sizeof suffix, ".%x.tmp", random());
      std::string temp = path + suffix;
      // O_EXCL: never reuse a file someone else made.
      int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) return std::unique_ptr<AtomicFile>(std::make_unique<PosixAtomicFile>(fd, temp, path));
      if (errno != EEXIST) return LastError();
    }
    return ErrnoError(EEXIST);
  }

  Result<unsigned> FileMode(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastError();
    return static_cast<unsigned>(st.st_mode & 07777);
  }

  bool FileExists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool DirectoryExists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::error_code MakeExecutable(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastError();
    return ::chmod(path.c_str(), WithExecute(st.st_mode)) == 0 ? std::error_code() : LastError();
  }

  std::error_code RemoveFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? std::error_code() : LastError();
  }

  std::error_code RemoveTree(const std::string& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? std::error_code() : LastError();
    if (S_ISDIR(st.st_mode)) {
      Result<std::vector<std::string>> names = ListDirectory(path);
      if (!names) return names.error();
      for (const std::string& name : *names) {
        if (std::error_code e = RemoveTree(JoinDir(path, name))) return e;
      }
      return ::rmdir(path.c_str()) == 0 ? std::error_code() : LastError();
    }
    return RemoveFile(path);
  }

  std::error_code MakeDirectory(const std::string& path, bool private_to_user) override {
    return ::mkdir(path.c_str(), private_to_user ? 0700 : 0777) == 0 ? std::error_code() : LastError();
  }

  Result<std::vector<std::string>> ListDirectory(const std::string& dir) override {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
    if (!listing) return LastError();
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
      std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    if (errno != 0) return LastError();
    return names;
  }

  Result<std::int64_t> FreeBytes(const std::string& path) override {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return LastError();
    return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
  }

  Result<std::string> MakeTemporaryDirectory(const std::string& dir, std::string_view prefix) override {
    std::string pattern = JoinDir(dir, prefix) + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return LastError();
    return pattern;
  }

  Result<std::string> MakeUniqueFile(const std::string& dir, std::string_view prefix,
                                     std::string_view suffix) override {
    std::string pattern = JoinDir(dir, prefix) + "XXXXXX" + std::string(suffix);
    int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0) return LastError();
    ::close(fd);
    return pattern;
  }

  Result<std::string> ExecutablePath() override {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = ::readlink(kOwnExecutable, buffer.data(), buffer.size() - 1);
    if (n <= 0) return n < 0 ? LastError() : ErrnoError(ENOENT);
    return std::string(buffer.data(), static_cast<std::size_t>(n));
  }

  Result<std::unique_ptr<File>> OpenExecutable() override { return OpenFd(kOwnExecutable, O_RDONLY); }

  Result<std::string> CurrentDirectory() override {
    std::vector<char> buffer(PATH_MAX + 1);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return LastError();
    return std::string(buffer.data());
  }

  std::optional<std::string> GetEnv(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  std::error_code SetEnvironmentVariable(const std::string& name, const std::string& value) override {
    if (::setenv(name.c_str(), value.c_str(), 1) != 0) return LastError();
    return {};
  }

  void SetTerminationSignals(TerminationSignals how) override {
    const sigset_t set = TerminationSignalSet();
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = how == TerminationSignals::kCaught ? RecordTerminationSignal : SIG_DFL;
    if (how == TerminationSignals::kHeld) {
      ::sigprocmask(SIG_BLOCK, &set, nullptr);
      return;
    }
    // The handler first, then the signals let through: one that waited
    // blocked meanwhile reaches the new handling, not the old.
    for (int s : kTerminationSignals) ::sigaction(s, &action, nullptr);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  }

  int CaughtTerminationSignal() override { return caught_signal; }

  int ProcessId() override { return static_cast<int>(::getpid()); }

  bool IsTerminal(std::FILE* stream) override { return ::isatty(::fileno(stream)) != 0; }

  Result<int> StartProgram(const ProgramSpec& spec) override {
    if (spec.argv.empty()) return ErrnoError(ENOENT);
    // Everything the new process needs is prepared before fork: between
    // fork and exec only async-signal-safe calls are allowed.
    std::vector<std::string> arg_strings = spec.argv;
    std::vector<char*> argv;
    for (std::string& a : arg_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = MergedEnvironment(spec.environment);
    std::vector<char*> envp;
    for (std::string& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const bool search = spec.search_path && spec.argv.front().find('/') == std::string::npos;
    const char* cwd = spec.working_directory.empty() ? nullptr : spec.working_directory.c_str();

    // The exec result comes back through a pipe that closes on a successful
    // exec: nothing read means the program runs.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return LastError();
    pid_t pid = ::fork();
    if (pid < 0) {
      std::error_code error = LastError();
      ::close(report[0]);
      ::close(report[1]);
      return error;
    }
    if (pid == 0) {
      ::close(report[0]);
      if (spec.detached) {
        // A second fork leaves the program to init, so nobody has to reap
        // it, and its own session keeps it out of this one's signals.
        ::setsid();
        pid_t program = ::fork();
        if (program < 0) ReportAndExit(report[1], errno);
        if (program > 0) ::_exit(0);
      }
      if (cwd != nullptr && ::chdir(cwd) != 0) {
        // The directory may be a removable drive without disk; the program
        // still starts.
      }
      ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
      if (search) {
        ::execvpe(argv[0], argv.data(), envp.data());
      } else {
        ::execve(argv[0], argv.data(), envp.data());
      }
      ReportAndExit(report[1], errno);
    }
    ::close(report[1]);
    if (spec.detached) {
      // The intermediate process ends at once.
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
      if (!spec.detached) ::waitpid(pid, nullptr, 0);
      return ErrnoError(error);
    }
    return static_cast<int>(pid);
  }

  Result<int> WaitForProgram(int pid) override {
    int status = 0;
    while (::waitpid(static_cast<pid_t>(pid), &status, 0) < 0) {
      if (errno != EINTR) return LastError();
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
  }

  Result<int> WaitForProgramPassingSignals(int pid) override {
    const sigset_t set = TerminationSignalSet();
    for (;;) {
      int status = 0;
      pid_t ended = ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
      if (ended < 0 && errno != EINTR) return LastError();
      if (ended == static_cast<pid_t>(pid)) {
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return 128 + WTERMSIG(status);
      }
      const timespec poll{0, kPassSignalsPollNs};
      siginfo_t info{};
      if (int s = ::sigtimedwait(&set, &info, &poll); s > 0) ::kill(static_cast<pid_t>(pid), s);
    }
  }

  std::error_code RunDetached(const std::function<void()>& work, DetachedStart start) override {
    pid_t parent = ::getpid();
    int pidfd = start == DetachedStart::kAfterThisProcessExits
                    ? static_cast<int>(::syscall(SYS_pidfd_open, parent, 0))
                    : -1;
    pid_t pid = ::fork();
    if (pid < 0) {
      std::error_code error = LastError();
      if (pidfd >= 0) ::close(pidfd);
      return error;
    }
    if (pid == 0) {
      // A second fork leaves the worker to init, so this process never has
      // to reap it, and its own session keeps it out of this one's signals.
      ::setsid();
      if (::fork() != 0) ::_exit(0);
      // Standard streams on /dev/null and nothing else kept open: an
      // inherited descriptor would keep this process's files in use.
      int null_fd = ::open("/dev/null", O_RDWR);
      if (null_fd >= 0) {
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 1);
        ::dup2(null_fd, 2);
      }
      int watched = pidfd >= 0 ? ::dup2(pidfd, kWatchedFd) : -1;
      ::syscall(SYS_close_range, watched >= 0 ? kWatchedFd + 1U : static_cast<unsigned>(kWatchedFd), ~0U,
                0U);
      if (start == DetachedStart::kAfterThisProcessExits) WaitForExit(watched, parent);
      work();
      ::_exit(0);
    }
    if (pidfd >= 0) ::close(pidfd);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return {};
  }
};

}  // namespace

Env& Env::Default() {
  static PosixEnv* env = new PosixEnv;  // never freed: detached copies use it after exit
  return *env;
}

std::string Env::TemporaryDirectory() {
  std::optional<std::string> tmpdir = GetEnv("TMPDIR");
  std::string path = tmpdir && !tmpdir->empty() ? *tmpdir : "/tmp";
  // Callers hand this path to other programs and map host paths to a
  // drive, so a relative TMPDIR is made absolute here.
  if (path.front() != '/') {
    if (Result<std::string> cwd = CurrentDirectory()) path = (*cwd == "/" ? "" : *cwd) + "/" + path;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::error_code Env::WriteFileAtomically(const std::string& path, std::string_view data,
                                         std::optional<unsigned> mode) {
  Result<std::unique_ptr<AtomicFile>> file = NewAtomicFile(path);
  if (!file) return file.error();
  if (std::error_code e = (*file)->Append(data)) return e;
  return (*file)->Commit(mode);
}

}  // namespace brimwell::host
