// The command line the loader gives the setup engine, and how such a command
// line is taken apart again when the program is started.
//
// The loader composes one text: the engine's full path (not quoted), then
// the switches, with every -e and -s piece in double quotes so that names
// with blanks stay one argument. Starting a program splits that text at
// blanks outside double quotes and removes the quotes.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/command_line_text.h"

namespace brimwell {

enum class EngineLaunch {
  kTransferToFloppies,  // star word TODISK: -c -f "-e<n>" -s"<d>"
  kSelfExtracting,      // archive inside the loader: -c "-e<n>" "-s<d>"
  kBesideSetup1,        // setup.1 beside the loader: -c "-s<d>"
};

// `engine` is the full path of the extracted engine, `own_name` the loader's
// file name without directory and `own_dir` the loader's directory without
// trailing separator. Single blanks separate the pieces.
std::string ComposeEngineCommandLine(EngineLaunch launch, std::string_view engine,
                                     std::string_view own_name, std::string_view own_dir);

// A command line taken apart for starting: the program to run and its
// arguments (argv[1] onwards).
struct ProgramInvocation {
  std::string program;
  std::vector<std::string> arguments;
};

// Splits `line` for starting. When the program's path is not quoted and holds
// blanks, the program is the shortest blank-ended prefix naming an existing
// file (`is_file`), tried from the left, as the Windows program loader does;
// the rest is split as above. Without such a prefix the first argument is
// the program.
ProgramInvocation ParseInvocation(std::string_view line,
                                  const std::function<bool(const std::string&)>& is_file);

}  // namespace brimwell
