#include "platform/after_exit.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/batch_interpreter.h"
#include "platform/machine.h"
#include "platform/program_copy.h"

#include "host/host_env.h"
#include "platform/linux_file_system.h"

namespace brimwell {

WinStatus RunAfterThisProcessExits(const std::function<void()>& work) {
  std::error_code error = host::Env::Default().RunDetached(work, host::DetachedStart::kAfterThisProcessExits);
  if (error) return WinStatus::Error(WinErrorFromErrno(error.value()));
  return WinStatus::Ok();
}

namespace {

bool batch_program_enabled = false;

// Waits until process `pid` has ended (at once when it is gone already).
void WaitForProcessExit(pid_t pid) {
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    struct pollfd p {pidfd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(pidfd);
    return;
  }
  if (errno == ESRCH) return;
  while (::kill(pid, 0) == 0 || errno == EPERM) ::usleep(50000);  // kernels without pidfds
}

}  // namespace

std::optional<int> RunBatchAfterExitIfAsked(int argc, char** argv) {
  batch_program_enabled = true;
  if (argc < 2 || std::string_view(argv[1]) != kBatchAfterExitSwitch) return std::nullopt;
  if (argc != 5) return 1;
  const long pid = std::strtol(argv[2], nullptr, 10);
  if (pid > 0) WaitForProcessExit(static_cast<pid_t>(pid));
  try {
    std::unique_ptr<Machine> machine = OpenMachine(argv[3], PrefixCreation::kMustExist);
    BatchReport report = RunBatchFile(machine->GetFileSystem(), argv[4]);
    return report.failures == 0 ? 0 : 1;
  } catch (const std::exception&) {
    return 1;  // nobody is left to tell; the files merely stay
  }
}

bool CanStartBatchProgram() { return batch_program_enabled; }

WinStatus StartBatchProgramAfterExit(const std::filesystem::path& prefix, const std::string& batch_path) {
  WinResult<int> copy = CopyExecutableToMemory();
  if (!copy.ok()) return WinStatus::Error(copy.error());
  const int memfd = *copy;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{memfd};
  host::ProgramSpec spec;
  // The descriptor is still open while exec reads the program from it; it
  // closes once the new image runs.
  spec.argv = {"/proc/self/fd/" + std::to_string(memfd), kBatchAfterExitSwitch, std::to_string(::getpid()),
               prefix.string(), batch_path};
  spec.detached = true;
  auto started = host::Env::Default().StartProgram(spec);
  if (!started) return WinStatus::Error(WinErrorFromErrno(started.error().value()));
  return WinStatus::Ok();
}

}  // namespace brimwell
