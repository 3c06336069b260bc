// The process service on Linux (see processes.h). Children get the prefix
// in BRIMWELL_PREFIX, so a started engine sees the same machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace brimwell {

class FileSystem;
class Paths;

// A command line split as WinExec reads it: the program (a Windows path) and
// the arguments.
struct ParsedCommand {
  std::string program;
  std::filesystem::path host_program;
  std::vector<std::string> arguments;
};

class LinuxProcesses final : public Processes {
 public:
  // Both services must outlive this one; `prefix` is passed to children.
  LinuxProcesses(std::filesystem::path prefix, FileSystem& files, Paths& paths);

  std::uint32_t WinExec(std::string_view command_line, ShowState show) override;
  WinResult<int> RunAndWait(std::string_view command_line, ShowState show) override;
  WinStatus StartBatchAfterExit(std::string_view batch_path) override;
  WinResult<std::unique_ptr<Library>> LoadLibrary(std::string_view path) override;

  // Finds the program of a command line as WinExec does; the Win32 error
  // (kErrorFileNotFound, kErrorPathNotFound) when there is none.
  WinResult<ParsedCommand> ParseCommand(std::string_view command_line);

 private:
  enum class Kind { kProgram, kBatch, kBad };
  Kind KindOf(const std::filesystem::path& host);
  // Starts the program; returns the pid, or the error. With `detach` the
  // program is not a child of this process (no zombie is left).
  WinResult<int> Spawn(const ParsedCommand& command, ShowState show, bool detach);
  // An existing file for a name that may lack its ".exe"; empty if none.
  std::string FindProgram(std::string_view candidate);

  std::filesystem::path prefix_;
  FileSystem& files_;
  Paths& paths_;
};

}  // namespace brimwell
