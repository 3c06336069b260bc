// brimwell boot: what the prefix does when Windows starts (delayed moves,
// WININIT.INI renames, RunOnce values).
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/brimwell/commands.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/startup_sequence.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell boot [--prefix DIR] [--quiet]\n"
    "\n"
    "Runs the start-up sequence of the prefix as Windows runs it at its next\n"
    "start: the delayed file moves, the [Rename] lines of WININIT.INI, then every\n"
    "RunOnce value (each deleted, then run and waited for). Prints one line per\n"
    "action; the exit status is 1 when an action failed.\n";

}  // namespace

int RunBoot(Args args) {
  if (auto status = AnswerHelp(args, kUsage, false)) return *status;
  std::string dir;
  bool quiet = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (std::strcmp(args[i], "--prefix") == 0 && i + 1 < args.size()) {
      dir = args[++i];
    } else if (std::strcmp(args[i], "--quiet") == 0) {
      quiet = true;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  std::unique_ptr<Machine> machine =
      OpenMachine(dir.empty() ? DefaultPrefixDir() : std::filesystem::path(dir), PrefixCreation::kMustExist);
  StartupReport report = RunStartupSequence(*machine);
  if (!quiet) {
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
  }
  return report.failures == 0 ? 0 : 1;
}

}  // namespace brimwell::cli
