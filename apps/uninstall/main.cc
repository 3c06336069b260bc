// uninstall.exe: the uninstall program a product installs beside itself
// (TUninstallEXE), started as its record's UninstallString gives it: the
// program's path, a blank and the product's name. It runs on from an
// in-memory copy of itself, so that its own installed file can be removed
// with the rest and nothing of the product is left once it ends.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apps/uninstall/uninstall_ui.h"
#include "framework/format.h"
#include "host/host_env.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/program_copy.h"
#include "uninstall/product_record.h"
#include "uninstall/uninstaller.h"

namespace {

constexpr char kUsage[] =
    "usage: uninstall.exe PRODUCT\n"
    "\n"
    "Removes the product PRODUCT (the name may hold blanks) from the machine of\n"
    "BRIMWELL_PREFIX, as its uninstall record lists it: self-registered servers\n"
    "are unregistered, registry and INI values removed, files and shortcuts\n"
    "deleted (a shared file only when no other product uses it, a file changed\n"
    "since the installation never), empty folders and Program Manager groups\n"
    "removed, and last the record and this program itself. A file in use is\n"
    "deleted at the next start ('brimwell boot').\n"
    "\n"
    "A window asks first and shows the progress; with BRIMWELL_UNATTENDED=1 it\n"
    "goes ahead and reports on standard output.\n"
    "\n"
    "Exit status: 0 everything was removed or is deleted at the next start;\n"
    "1 something could not be removed (the record keeps it: run again);\n"
    "2 bad arguments; 3 the product is not installed; 4 the user cancelled;\n"
    "5 done, but files changed since the installation were kept.\n";

constexpr int kExitDone = 0;
constexpr int kExitIncomplete = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotInstalled = 3;
constexpr int kExitCancelled = 4;
constexpr int kExitKeptChanged = 5;

constexpr char kNotInstalled[] = "%s is not installed on this machine.";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return kExitDone;
    }
  }
  std::vector<std::string> words;
  if (brimwell::RunningFromMemoryCopy(argc, argv)) {
    words.assign(argv + 2, argv + argc);
  } else {
    if (argc < 2) {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    brimwell::WinStatus copy = brimwell::RunOnFromMemoryCopy(argc, argv);
    // Only reached when the copy could not start: go on from the file,
    // which then stays in use and is deleted at the next start.
    std::fprintf(stderr, "uninstall: cannot run from a copy of itself (Windows error %u); going on\n",
                 static_cast<unsigned>(copy.error()));
    words.assign(argv + 1, argv + argc);
  }
  std::string product;
  for (const std::string& w : words) product += (product.empty() ? "" : " ") + w;
  if (product.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  const bool unattended = brimwell::host::Env::Default().GetEnv("BRIMWELL_UNATTENDED").value_or("") == "1";
  std::unique_ptr<brimwell::UninstallUi> ui = brimwell::MakeUninstallUi(unattended, argv[0]);
  try {
    std::unique_ptr<brimwell::Machine> machine = brimwell::OpenDefaultMachine(brimwell::PrefixCreation::kMustExist);
    brimwell::ProductRecord record = brimwell::ReadProductRecord(machine->GetRegistry(), product);
    if (!record.exists) {
      ui->ShowError(brimwell::Format(kNotInstalled, {product}));
      return kExitNotInstalled;
    }
    const std::string title = record.display_name.empty() ? product : record.display_name;
    if (!ui->Confirm(title)) return kExitCancelled;
    brimwell::Uninstaller uninstaller(*machine, std::move(record));
    ui->Begin(title, uninstaller.PlannedSteps());
    uninstaller.SetProgress([&](const brimwell::UninstallStep& step, int done, int total) {
      ui->Progress(step, done, total);
    });
    brimwell::UninstallReport report = uninstaller.Run();
    ui->Finish(title, report);
    if (!report.Complete()) return kExitIncomplete;
    if (report.KeptChanged()) return kExitKeptChanged;
    return kExitDone;
  } catch (const std::exception& e) {
    ui->ShowError(std::string("The uninstallation stopped: ") + e.what());
    return kExitIncomplete;
  }
}
