// brimwell boot: what the prefix does when Windows starts (delayed moves,
// WININIT.INI renames, RunOnce values).
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/brimwell/commands.h"
#include "engine/install.h"
#include "host/host_env.h"
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
    "RunOnce value (each deleted, then run and waited for). Then, unless an\n"
    "installation is running, removes the install records of installations\n"
    "that were stopped (killed) with their temporary copies of the engine.\n"
    "Prints one line per action; the exit status is 1 when an action failed.\n";

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
  // The installations whose engine is gone, once the restart's own work has
  // run; a running installation holds the lock and keeps its record.
  int holder = 0;
  if (std::unique_ptr<host::File> lock = machine->TryLockInstall(holder)) {
    for (const std::string& key : RemoveStaleInstallRecords(*machine, "")) {
      report.lines.push_back("removed the install record " + key + " of a stopped installation");
    }
  } else {
    report.lines.push_back("an installation is running (process " + std::to_string(holder) +
                           "): install records left alone");
  }
  if (!quiet) {
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
  }
  return report.failures == 0 ? 0 : 1;
}

}  // namespace brimwell::cli
