// The loader program, shipped as setup.exe: it finds SETUP.1 (an image inside
// its own file, located by the self-extracting trailer, or the file setup.1
// beside it), unpacks it into a fresh working directory in the temporary
// directory, starts the setup engine (the archive's first member) from there
// with a command line that tells it where the distribution lies, and ends
// without waiting for it. The engine owns the working directory from then on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "host/host_env.h"
#include "loader/program_start.h"
#include "loader/star_word.h"

namespace brimwell {

class ProgressBar;

inline constexpr char kCouldNotFindExecutable[] = "LOADER: Could not find the executable, ";
inline constexpr char kCouldNotOpenFormat[] = "The file %s could not be opened for reading";
inline constexpr char kSetup1NotBeside[] =
    "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is ";
inline constexpr char kEngineNotExtracted[] =
    "LOADER: Cannot find the installation executable file in the temporary directory: %s";
inline constexpr char kCouldNotStartEngine[] =
    "LOADER: Could not run the installation executable file %s. The WinExec return was %d - %s";
inline constexpr char kLoaderErrorCaption[] =
    "There was an error when trying to load the installation program";
inline constexpr char kLoaderUsage[] =
    "usage: setup.exe [*QUIET | *TODISK]\n"
    "\n"
    "Unpacks the installation program from SETUP.1 (the file setup.1 beside\n"
    "setup.exe, or the image inside a self-extracting setup.exe) into a new\n"
    "directory of the temporary directory (TMPDIR, else /tmp) and starts it.\n"
    "\n"
    "  *QUIET    show no progress while unpacking\n"
    "  *TODISK   start the installation program in floppy-transfer mode\n"
    "  --help    show this text\n"
    "  --version show the toolkit's version\n"
    "\n"
    "Environment: BRIMWELL_UNATTENDED=1 installs without a user: setup.exe then\n"
    "waits for the installation and ends with its exit status (0 installed,\n"
    "1 failed, 2 the project could not be loaded, 3 cancelled, 4 another\n"
    "installation is running); an interrupt, hang-up or termination signal\n"
    "cancels it. Otherwise setup.exe ends as soon as the installation program\n"
    "runs, with status 0, or 1 when it could not be started. BRIMWELL_PREFIX\n"
    "names the Windows prefix to install into.\n";

// The archive the loader unpacks when it is not inside its own file.
inline constexpr char kSetup1Name[] = "setup.1";

// What the loader needs of the machine; tests replace any of it.
struct LoaderServices {
  std::string executable;  // the running program's file, an absolute path
  std::string temp_path;   // the temporary directory, ending in "/"
  // Free bytes on the file system holding a directory; negative: unknown.
  std::function<std::int64_t(const std::string& dir)> free_bytes;
  // Starts a command line (and, when the run waits for the engine, waits
  // for it); a result below 32 is an error.
  std::function<ProgramStart(const std::string& command_line)> start_program;
  ProgressBar* progress = nullptr;  // not owned; null: no progress shown
};

// What a finished run did.
struct LoaderRun {
  std::string working_dir;
  std::string engine;        // the extracted engine's path
  std::string command_line;  // what was started
  std::optional<int> engine_status;  // the engine's exit status, when waited for
};

class Loader {
 public:
  Loader(LoaderServices services, StarWord star_word);
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  // Unpacks and starts the engine. Throws Exception whose text is the message
  // of the step that failed; files already unpacked stay.
  LoaderRun Run();

 private:
  LoaderServices services_;
  StarWord star_word_;
};

// The setup.1 file in `dir`: "setup.1" itself, else the first entry whose name
// equals it without regard to case (a set copied from a medium that keeps
// upper-case names). nullopt when there is none.
std::optional<std::string> FindSetup1(const std::string& dir, host::Env& env = host::Env::Default());

// The program's whole life for `args` (the arguments after the program name)
// on this machine (the host seam's default): the running program, TMPDIR, the real
// file system and program start, a progress line on `err` when it is a
// terminal and the run is not quiet. An error is shown on `err` as the
// caption and the text, each on a line of its own. Returns the exit status:
// 0 when the engine was started, 1 after an error; an unattended run
// returns the engine's status. "--help" and "--version" as the first
// argument print the usage or the version on standard output instead.
int RunLoaderProgram(std::span<const char* const> args, std::FILE* err);

}  // namespace brimwell
