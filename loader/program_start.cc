#include "loader/program_start.h"

#include <cerrno>
#include <vector>

#include "host/host_env.h"
#include "host/host_path.h"
#include "loader/engine_command_line.h"

namespace brimwell {
namespace {

bool DirectoryOfExists(host::Env& env, const std::string& program) {
  if (program.find('/') == std::string::npos) return true;  // searched for, or the current directory
  return env.DirectoryExists(host::ParentDirectory(program));
}

// One translation from the errno of a failed start to the result codes.
int StartErrorFromErrno(host::Env& env, int error, const std::string& program) {
  switch (error) {
    case ENOENT:
      return DirectoryOfExists(env, program) ? kStartFileNotFound : kStartPathNotFound;
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

// Starts the program of `command_line`; its process id, or the start error
// code (below 32) negated.
int Launch(std::string_view command_line, host::Env& env, bool detached) {
  ProgramInvocation invocation =
      ParseInvocation(command_line, [&env](const std::string& path) { return env.FileExists(path); });
  if (invocation.program.empty()) return -kStartFileNotFound;

  host::ProgramSpec spec;
  spec.argv.push_back(invocation.program);
  for (std::string& a : invocation.arguments) spec.argv.push_back(std::move(a));
  spec.search_path = true;
  spec.detached = detached;
  host::Result<int> started = env.StartProgram(spec);
  if (!started) return -StartErrorFromErrno(env, started.error().value(), invocation.program);
  return *started;
}

}  // namespace

int StartProgram(std::string_view command_line, host::Env& env) {
  // The loader ends without waiting for the engine.
  const int launched = Launch(command_line, env, /*detached=*/true);
  return launched <= 0 ? -launched : kStartSucceeded;
}

ProgramStart StartProgramAndWait(std::string_view command_line, host::Env& env) {
  const int pid = Launch(command_line, env, /*detached=*/false);
  if (pid <= 0) return ProgramStart(-pid);
  host::Result<int> status = env.WaitForProgramPassingSignals(pid);
  return ProgramStart(kStartSucceeded, status ? *status : kStartFailed);
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
