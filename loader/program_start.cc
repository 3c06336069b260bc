#include "loader/program_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "loader/engine_command_line.h"

extern char** environ;

namespace brimwell {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryOfExists(const std::string& program) {
  std::size_t slash = program.find_last_of('/');
  if (slash == std::string::npos) return true;  // searched for, or the current directory
  std::string dir = slash == 0 ? "/" : program.substr(0, slash);
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One translation from the errno of a failed start to the result codes.
int StartErrorFromErrno(int error, const std::string& program) {
  switch (error) {
    case ENOENT:
      return DirectoryOfExists(program) ? kStartFileNotFound : kStartPathNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kStartPathNotFound;
    case EACCES:
    case EPERM:
      return kStartAccessDenied;
    case ENOEXEC:
    case EISDIR:
      return kStartBadFormat;
    case ENOMEM:
    case EAGAIN:
    case E2BIG:
      return kStartOutOfResources;
    default:
      return kStartFailed;
  }
}

// Writes an errno value into the status pipe; only async-signal-safe calls
// are allowed between fork and exec.
[[noreturn]] void ReportAndExit(int fd, int error) {
  ssize_t ignored = ::write(fd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

}  // namespace

int StartProgram(std::string_view command_line) {
  ProgramInvocation invocation = ParseInvocation(command_line, IsRegularFile);
  if (invocation.program.empty()) return kStartFileNotFound;

  // Everything the child needs is prepared before fork.
  std::vector<char*> argv;
  argv.push_back(invocation.program.data());
  for (std::string& a : invocation.arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  const bool search_path = invocation.program.find('/') == std::string::npos;

  // The started program's exec result comes back through a pipe that closes
  // on a successful exec: nothing read means it runs.
  int status_pipe[2];
  if (::pipe2(status_pipe, O_CLOEXEC) != 0) return kStartOutOfResources;

  // Fork twice so that the program is not our child: the middle process
  // exits at once and the program is adopted, so nobody has to wait for it.
  pid_t middle = ::fork();
  if (middle < 0) {
    int error = errno;
    ::close(status_pipe[0]);
    ::close(status_pipe[1]);
    return StartErrorFromErrno(error, invocation.program);
  }
  if (middle == 0) {
    ::close(status_pipe[0]);
    pid_t program = ::fork();
    if (program < 0) ReportAndExit(status_pipe[1], errno);
    if (program > 0) ::_exit(0);
    ::setsid();  // independent of the loader's terminal session
    if (search_path) {
      ::execvp(argv[0], argv.data());
    } else {
      ::execve(argv[0], argv.data(), environ);
    }
    ReportAndExit(status_pipe[1], errno);
  }

  ::close(status_pipe[1]);
  int wait_status = 0;
  while (::waitpid(middle, &wait_status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = ::read(status_pipe[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(status_pipe[0]);
  if (n == static_cast<ssize_t>(sizeof error)) return StartErrorFromErrno(error, invocation.program);
  return kStartSucceeded;
}

std::string_view StartErrorText(int code) {
  switch (code) {
    case kStartFileNotFound:
      return "The specified file was not found";
    case kStartPathNotFound:
      return "The specified path was not found";
    case kStartBadFormat:
      return "The .EXE file is invalid";
    default:
      return "Unknown";
  }
}

}  // namespace brimwell
