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

#include "host/host_env.h"
#include "platform/after_exit.h"
#include "platform/linux_file_system.h"

namespace brimwell {
namespace {

bool IsExecutable(const std::filesystem::path& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

}  // namespace

std::filesystem::path FindBootProgram() {
  host::Env& env = host::Env::Default();
  if (std::optional<std::string> program = env.GetEnv("BRIMWELL_BOOT_PROGRAM"); program && !program->empty()) {
    return IsExecutable(*program) ? std::filesystem::path(*program) : std::filesystem::path();
  }
  if (host::Result<std::string> self = env.ExecutablePath()) {
    std::filesystem::path beside = std::filesystem::path(*self).parent_path() / "brimwell";
    if (IsExecutable(beside)) return beside;
  }
  if (std::optional<std::string> path = env.GetEnv("PATH")) {
    std::string list = *path;
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
  // The engine ends first, as Windows ends every program before it restarts.
  WinStatus started = RunAfterThisProcessExits([&] {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  });
  if (!started.ok()) return started;
  pending_ = true;
  return WinStatus::Ok();
}

}  // namespace brimwell
