#include "platform/linux_restart.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux_file_system.h"

namespace brimwell {
namespace {

bool IsExecutable(const std::filesystem::path& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

}  // namespace

std::filesystem::path FindBootProgram() {
  if (const char* env = std::getenv("BRIMWELL_BOOT_PROGRAM"); env != nullptr && *env != '\0') {
    return IsExecutable(env) ? std::filesystem::path(env) : std::filesystem::path();
  }
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path beside = self.parent_path() / "brimwell";
    if (IsExecutable(beside)) return beside;
  }
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    std::size_t pos = 0;
    while (pos <= list.size()) {
      std::size_t colon = list.find(':', pos);
      std::string dir = list.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
      if (!dir.empty() && IsExecutable(std::filesystem::path(dir) / "brimwell")) {
        return std::filesystem::path(dir) / "brimwell";
      }
      if (colon == std::string::npos) break;
      pos = colon + 1;
    }
  }
  return {};
}

LinuxRestart::LinuxRestart(std::filesystem::path prefix, const PrefixConfig& config)
    : prefix_(std::move(prefix)), config_(config) {}

WinStatus LinuxRestart::EnableShutdownPrivilege() {
  if (config_.windows == WindowsFamily::kWindows95 || config_.windows == WindowsFamily::kWin32s) {
    return WinStatus::Error(kErrorCallNotImplemented);
  }
  privilege_ = true;
  return WinStatus::Ok();
}

WinStatus LinuxRestart::RestartWindows() {
  if (config_.windows == WindowsFamily::kWin32s) return WinStatus::Error(kErrorCallNotImplemented);
  bool nt = config_.windows == WindowsFamily::kNT351 || config_.windows == WindowsFamily::kNT4;
  if (nt && !privilege_) return WinStatus::Error(kErrorPrivilegeNotHeld);
  if (pending_) return WinStatus::Ok();
  std::filesystem::path boot = FindBootProgram();
  if (boot.empty()) return WinStatus::Error(kErrorFileNotFound);

  std::string program = boot.string();
  std::string prefix = prefix_.string();
  std::vector<char*> argv{program.data(), const_cast<char*>("boot"), const_cast<char*>("--prefix"),
                          prefix.data(), nullptr};
  pid_t engine = ::getpid();
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, engine, 0));
  pid_t pid = ::fork();
  if (pid < 0) {
    if (pidfd >= 0) ::close(pidfd);
    return WinStatus::Error(WinErrorFromErrno(errno));
  }
  if (pid == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    int watched = pidfd >= 0 ? ::dup2(pidfd, 3) : -1;
    ::syscall(SYS_close_range, watched >= 0 ? 4U : 3U, ~0U, 0U);
    // The engine ends first, as Windows ends every program before it
    // restarts.
    if (watched >= 0) {
      struct pollfd p {watched, POLLIN, 0};
      while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
      }
      ::close(watched);
    } else {
      while (::kill(engine, 0) == 0 || errno == EPERM) ::usleep(50000);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pidfd >= 0) ::close(pidfd);
  ::waitpid(pid, nullptr, 0);
  pending_ = true;
  return WinStatus::Ok();
}

}  // namespace brimwell
