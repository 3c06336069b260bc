// Starting programs and loading libraries, with the Win32 results the engine
// turns into its messages.
//
// A program is a host executable (an ELF file or a script beginning with
// "#!"), reached through its Windows path; such a file gets its execute bits
// when it lacks them, since Windows runs any program file. A ".bat" file runs
// through the platform's own batch interpreter (batch_interpreter.h). A PE
// program cannot run on the host: the start fails as for a bad executable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win_error.h"

namespace brimwell {

// Window show states (SW_*); on the host they are passed to the program in
// the environment variable BRIMWELL_SHOW_STATE and otherwise ignored.
enum class ShowState : int {
  kHide = 0,
  kShowNormal = 1,
  kShowMinimized = 2,
  kShowMaximized = 3,
  kShowNoActivate = 4,
  kShow = 5,
};

// WinExec results below 32 are errors.
inline constexpr std::uint32_t kExecFileNotFound = 2;
inline constexpr std::uint32_t kExecPathNotFound = 3;
inline constexpr std::uint32_t kExecBadFormat = 11;
// What a successful start answers (any value above 31 means success).
inline constexpr std::uint32_t kExecStarted = 33;

// A loaded library (LoadLibrary). Unloaded at destruction.
class Library {
 public:
  Library() = default;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  virtual ~Library() = default;
  // The entry point of that name, or nullptr (kErrorProcNotFound).
  virtual void* GetProcAddress(std::string_view name) = 0;
  virtual const std::string& Path() const = 0;
};

class Processes {
 public:
  Processes() = default;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;
  virtual ~Processes() = default;

  // WinExec: starts the program of `command_line` and does not wait. The
  // program is the first word, or a quoted path; an unquoted path with blanks
  // is found as Windows finds it, trying "C:\Program", then "C:\Program
  // Files\app.exe", and so on. The rest of the line becomes the arguments,
  // split at blanks outside double quotes. Returns kExecStarted, or
  // kExecFileNotFound, kExecPathNotFound, kExecBadFormat (a PE program or a
  // file of no executable kind).
  virtual std::uint32_t WinExec(std::string_view command_line, ShowState show) = 0;

  // Starts `command_line` as WinExec does and waits for it; returns its exit
  // code, or the start's error (kErrorFileNotFound, kErrorPathNotFound,
  // kErrorBadExeFormat).
  virtual WinResult<int> RunAndWait(std::string_view command_line, ShowState show) = 0;

  // Starts the batch file `batch_path` hidden and detached: it runs through
  // the batch interpreter after this process has ended (the clean-up batch
  // deletes the engine itself). Fails when the file does not exist or the
  // interpreter cannot be started.
  virtual WinStatus StartBatchAfterExit(std::string_view batch_path) = 0;

  // LoadLibrary: an ELF shared object is loaded; a PE file fails with
  // kErrorBadExeFormat; a missing file with kErrorModNotFound. A bare name
  // is looked up in the current, system and Windows directories.
  virtual WinResult<std::unique_ptr<Library>> LoadLibrary(std::string_view path) = 0;
};

}  // namespace brimwell
