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
