// Starting a program from a command line, the way the loader starts the
// setup engine: the command line is taken apart (engine_command_line.h), the
// program runs in a session of its own with those arguments, and the caller
// does not wait for it. The result follows the Windows convention of the
// call the loader was designed around: a value of 32 or more is success, a
// smaller one an error code.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/host_env.h"

namespace brimwell {

inline constexpr int kStartSucceeded = 33;
inline constexpr int kStartOutOfResources = 0;
inline constexpr int kStartFileNotFound = 2;
inline constexpr int kStartPathNotFound = 3;
inline constexpr int kStartAccessDenied = 5;
inline constexpr int kStartBadFormat = 11;
inline constexpr int kStartFailed = 31;

// Starts the program that `command_line` names and returns at once, once the
// program has replaced the child process (or failed to). The started program
// is not a child of the caller, so nothing is left to wait for. Returns
// kStartSucceeded, or an error code below 32: kStartFileNotFound (no such
// file), kStartPathNotFound (its directory is missing), kStartAccessDenied
// (not executable), kStartBadFormat (not a program the host can run),
// kStartOutOfResources, or kStartFailed. Never throws for the program.
int StartProgram(std::string_view command_line, host::Env& env = host::Env::Default());

// How a program start went: the result as StartProgram gives it and, when
// the caller waited for the program, its exit status.
struct ProgramStart {
  ProgramStart(int start_result) : result(start_result) {}  // NOLINT: a start that was not waited for
  ProgramStart(int start_result, int status) : result(start_result), exit_status(status) {}
  int result;
  std::optional<int> exit_status;
};

// Starts the program as StartProgram does, but as a child of this process,
// and waits until it ends, passing on every termination signal this process
// receives meanwhile. The caller holds those signals
// (host::TerminationSignals::kHeld) before the call, so that the program
// inherits them held until it has chosen how to handle them. Returns the
// start result and, when the program started, its exit status (128 plus the
// signal that ended it, if one did).
ProgramStart StartProgramAndWait(std::string_view command_line, host::Env& env = host::Env::Default());

// The text shown with a start error code: "The specified file was not
// found", "The specified path was not found", "The .EXE file is invalid", or
// "Unknown" for any other code.
std::string_view StartErrorText(int code);

}  // namespace brimwell
