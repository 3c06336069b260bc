// brimwell prefix: makes a prefix and tells what it presents.
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/brimwell/commands.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/windows_version.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell prefix init [DIR] [--windows VERSION] [--language LANGID]\n"
    "       brimwell prefix info [DIR]\n"
    "       brimwell prefix set [DIR] [--windows VERSION] [--language LANGID]\n"
    "       brimwell prefix disk [DIR] [--drive LETTER] N|eject\n"
    "\n"
    "DIR defaults to BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix.\n"
    "VERSION is win32s, windows95, nt351 or nt4 (NT 4 and later, the default).\n"
    "LANGID is the user default language identifier, such as 0x0409.\n"
    "'disk' inserts disk N into the removable drive (A: unless --drive), or ejects it.\n";

struct Options {
  std::string verb;
  std::string dir;
  std::string windows;
  std::string language;
  std::string drive = "A";
  std::string disk;
};

Options Parse(Args args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "--windows") {
      o.windows = value();
    } else if (a == "--language") {
      o.language = value();
    } else if (a == "--drive") {
      o.drive = value();
    } else if (o.verb.empty()) {
      o.verb = a;
    } else if (o.verb == "disk" && (a == "eject" || (!a.empty() && a.find_first_not_of("0123456789") == std::string::npos))) {
      o.disk = a;
    } else if (o.dir.empty()) {
      o.dir = a;
    } else {
      throw EPlatformError("unexpected argument " + a);
    }
  }
  return o;
}

void ApplySettings(Machine& machine, const Options& o) {
  if (!o.windows.empty()) {
    auto family = ParseWindowsFamily(o.windows);
    if (!family) throw EPlatformError("unknown Windows version " + o.windows);
    machine.SetWindowsFamily(*family);
  }
  if (!o.language.empty()) {
    std::size_t used = 0;
    unsigned long id = std::stoul(o.language, &used, 0);
    if (used != o.language.size() || id > 0xFFFF) throw EPlatformError("bad language identifier " + o.language);
    machine.SetUserDefaultLangId(static_cast<std::uint16_t>(id));
  }
}

void PrintInfo(Machine& machine) {
  FileSystem& files = machine.GetFileSystem();
  std::printf("Prefix:            %s\n", machine.PrefixDir().c_str());
  std::printf("Windows:           %s\n", DescribeWindows(machine.GetWindowsFamily()).c_str());
  std::printf("User language:     0x%04X\n", machine.GetUserDefaultLangId());
  std::printf("Windows directory: %s\n", files.WindowsDirectory().c_str());
  std::printf("System directory:  %s\n", files.SystemDirectory().c_str());
  std::printf("Temp directory:    %s\n", files.TempPath().c_str());
  std::printf("Registry:          %s\n", (machine.PrefixDir() / "registry.db").c_str());
  std::printf("Drives:\n");
  for (const DriveMapping& drive : machine.GetPaths().Drives()) {
    std::string detail;
    if (drive.type == DriveType::kRemovable) {
      auto disk = files.InsertedDisk(drive.letter);
      detail = disk ? "disk " + std::to_string(*disk) + " of " + std::to_string(files.DiskCapacity(drive.letter)) + " bytes"
                    : "no disk";
    }
    std::int64_t free_bytes = files.DiskFree(drive.letter - 'A' + 1);
    std::printf("  %c:  %-9s %s%s%s  (free %lld bytes)\n", drive.letter, DriveTypeName(drive.type),
                drive.target.empty() ? "-" : drive.target.c_str(), detail.empty() ? "" : ", ", detail.c_str(),
                static_cast<long long>(free_bytes));
  }
}

}  // namespace

int RunPrefix(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  Options o = Parse(args);
  std::filesystem::path dir = o.dir.empty() ? DefaultPrefixDir() : std::filesystem::path(o.dir);
  if (o.verb == "init") {
    std::unique_ptr<Machine> machine = OpenMachine(dir, PrefixCreation::kCreateIfMissing);
    ApplySettings(*machine, o);
    PrintInfo(*machine);
    return 0;
  }
  std::unique_ptr<Machine> machine = OpenMachine(dir, PrefixCreation::kMustExist);
  if (o.verb == "info") {
    PrintInfo(*machine);
    return 0;
  }
  if (o.verb == "set") {
    ApplySettings(*machine, o);
    PrintInfo(*machine);
    return 0;
  }
  if (o.verb == "disk") {
    if (o.disk.empty() || o.drive.empty()) throw EPlatformError("name a disk number or eject");
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(o.drive[0])));
    WinStatus s = o.disk == "eject" ? machine->GetFileSystem().EjectDisk(letter)
                                    : machine->GetFileSystem().InsertDisk(letter, std::stoi(o.disk));
    if (!s) throw EPlatformError(std::string(1, letter) + ": " + WinErrorText(s.error()));
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace brimwell::cli
