#include "platform/after_exit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux_file_system.h"

namespace brimwell {
namespace {

// The descriptor that tells when the watched process is gone keeps this
// number in the detached process.
constexpr int kWatchedFd = 3;

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

}  // namespace

WinStatus RunAfterThisProcessExits(const std::function<void()>& work) {
  pid_t parent = ::getpid();
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, parent, 0));
  pid_t pid = ::fork();
  if (pid < 0) {
    int error = errno;
    if (pidfd >= 0) ::close(pidfd);
    return WinStatus::Error(WinErrorFromErrno(error));
  }
  if (pid == 0) {
    // A second fork leaves the worker to init, so this process never has to
    // reap it, and its own session keeps it out of this one's signals.
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      ::dup2(null_fd, 0);
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    int watched = pidfd >= 0 ? ::dup2(pidfd, kWatchedFd) : -1;
    ::syscall(SYS_close_range, watched >= 0 ? kWatchedFd + 1U : static_cast<unsigned>(kWatchedFd), ~0U, 0U);
    WaitForExit(watched, parent);
    work();
    ::_exit(0);
  }
  if (pidfd >= 0) ::close(pidfd);
  ::waitpid(pid, nullptr, 0);
  return WinStatus::Ok();
}

}  // namespace brimwell
