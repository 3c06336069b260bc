// The engine's command line: -b (build), -f (transfer to floppies), -d
// (debug run), -e<file> (started by a self-extracting setup program), -r
// (after reboot), -s<dir> (where the distributables lie), -c (clean up at
// the end). The loading program and the RunOnce entry write it; the driver
// reads it at start-up.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class EngineContext;

inline constexpr char kInvalidParameter[] =
    "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f (Transfer to "
    "floppies), -e (Called by self-extractor), -r (After reboot)";

// What `setupengine --help` prints.
inline constexpr char kEngineUsage[] =
    "usage: setupengine [-s<dir>] [-e<file>] [-c] [-d] [-r] [-b] [-f]\n"
    "\n"
    "The install engine of a product: its project is bound to it (brimwell bind)\n"
    "or named by BRIMWELL_PROJECT. Without -b or -f it installs the product into\n"
    "the Windows prefix; setup.exe starts it with -c and -s (and -e).\n"
    "\n"
    "  -s<dir>    where the distributables lie (setup.1, files.1); a host path\n"
    "             such as -s/srv/dist reads as Z:\\srv\\dist\n"
    "  -e<file>   started by the self-extracting setup program <dir>\\<file>\n"
    "  -c         clean up at the end: delete the presetup files and the\n"
    "             engine's temporary copy\n"
    "  -d         debug run from the development environment; needs -s\n"
    "  -r         continue an installation after a restart (RunOnce writes it)\n"
    "  -b         build the distributables into the directory BUILD.INF names\n"
    "  -f         transfer the installation to floppies in drive A:\n"
    "  --help     show this text\n"
    "  --version  show the toolkit's version\n"
    "\n"
    "Arguments are split at blanks outside double quotes; the letter after the\n"
    "dash may be upper or lower case.\n"
    "\n"
    "Environment: BRIMWELL_PREFIX (the prefix; default\n"
    "$XDG_DATA_HOME/brimwell/prefix), BRIMWELL_PROJECT, BRIMWELL_UNATTENDED=1\n"
    "(no user: pages proceed, message boxes go to standard error; without a\n"
    "display the windows are drawn offscreen; an interrupt, hang-up or\n"
    "termination signal cancels the installation), BRIMWELL_INSTALL_TYPE,\n"
    "BRIMWELL_LOG (append the run log to this file), QT_QPA_PLATFORM.\n"
    "\n"
    "Exit status: 0 finished, 1 the run or the mode failed, 2 the project could\n"
    "not be loaded, 3 the installation was cancelled, 4 another installation\n"
    "is running on the prefix. See doc/setupengine.md.\n";

enum class EngineSwitch { kBuild, kFloppies, kDebug, kSelfExtract, kReboot, kSource, kCleanup };

// The letter of each switch, in the order of EngineSwitch.
inline constexpr char kSwitchLetters[] = "bfdersc";

struct CommandLine {
  std::array<bool, 7> present{};
  // The text after the switch letter; a later occurrence replaces an
  // earlier one.
  std::array<std::string, 7> arguments;

  bool Has(EngineSwitch s) const { return present[static_cast<std::size_t>(s)]; }
  const std::string& Argument(EngineSwitch s) const { return arguments[static_cast<std::size_t>(s)]; }
};

// Parses arguments that are already split. Each must be at least two
// characters long, start with "-" and have a known letter (any case) in
// second place. Throws IEInstall kInvalidParameter naming the argument.
CommandLine ParseCommandLine(const EngineContext* ctx, const std::vector<std::string>& arguments);

// Quotes an argument for a command line ("\"-sC:\\My Build\"").
std::string QuoteArgument(std::string_view argument);

}  // namespace brimwell
