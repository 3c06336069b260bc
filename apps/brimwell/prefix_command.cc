// brimwell prefix: makes a prefix and tells what it presents.
#include <cstdio>
#include <cctype>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "apps/brimwell/commands.h"
#include "engine/install.h"
#include "framework/bound_project.h"
#include "host/host_env.h"
#include "host/host_path.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/profile_strings.h"
#include "platform/program_manager.h"
#include "platform/registry.h"
#include "platform/shell_links.h"
#include "platform/user_language.h"
#include "platform/win_path.h"
#include "platform/windows_version.h"
#include "translate/brwl_language.h"

namespace brimwell::cli {
namespace {

constexpr char kUsage[] =
    "usage: brimwell prefix init [DIR] [--windows VERSION] [--language LANGID]\n"
    "       brimwell prefix info [DIR]\n"
    "       brimwell prefix set [DIR] [--windows VERSION] [--language LANGID]\n"
    "       brimwell prefix disk [DIR] [--drive LETTER] N|eject\n"
    "       brimwell prefix links [DIR]\n"
    "       brimwell prefix groups [DIR]\n"
    "       brimwell prefix products [DIR]\n"
    "       brimwell prefix snapshot [DIR] OUT.json\n"
    "       brimwell prefix diff BEFORE.json AFTER.json [--json]\n"
    "\n"
    "DIR defaults to BRIMWELL_PREFIX, else $XDG_DATA_HOME/brimwell/prefix.\n"
    "VERSION is win32s, windows95, nt351 or nt4 (NT 4 and later, the default).\n"
    "LANGID is the user default language identifier, such as 0x0407, or the name\n"
    "of a translator language (German, Hebrew, ...);\n"
    "'host' leaves it to the host locale (LC_ALL, LC_MESSAGES, LANG), which a\n"
    "prefix follows until a language is set.\n"
    "'disk' inserts disk N into the removable drive (A: unless --drive), or ejects it.\n"
    "'init' also records the toolkit's directory (the one holding this program,\n"
    "BrimwellLoadProgram.exe and B32V35.TXT) first in the per-user SearchPath of\n"
    "HKCU\\Software\\Quarrystone\\B32V35\\Library, where builds look for it.\n"
    "'links' lists the shortcuts of the Start menu and the desktop with their\n"
    "targets, arguments, working directories and hot keys read from the files;\n"
    "'groups' lists the Program Manager groups and their items.\n"
    "'products' lists the installed products (name, version, folder, size).\n"
    "'snapshot' writes every folder, file (size, SHA-256, date), registry key and\n"
    "value and INI value of the prefix to OUT.json ('-': standard output);\n"
    "'diff' prints what changed between two snapshots (dates alone are no change)\n"
    "and exits 1 when anything did.\n";

// Puts the directory of this program first on the prefix's library search
// path when it is a toolkit directory (it holds the marker file), so that
// a fresh prefix can build distributables at once. Other entries stay.
void RecordToolkitDirectory(Machine& machine) {
  const std::string host_dir = host::ParentDirectory(RunningExecutablePath());
  if (!host::Env::Default().FileExists(host::JoinPath(host_dir, kToolkitMarker))) return;
  const std::string dir = machine.GetPaths().ToWindows(host_dir);
  Registry& reg = machine.GetRegistry();
  std::string search = reg.FindString(RegistryHive::kCurrentUser, kSearchPathKey, kSearchPathValue).value_or("");
  std::string kept = dir;
  std::size_t start = 0;
  while (start < search.size()) {
    std::size_t end = search.find(';', start);
    if (end == std::string::npos) end = search.size();
    std::string entry = search.substr(start, end - start);
    if (!entry.empty() && !WinNamesEqual(entry, dir)) kept += ";" + entry;
    start = end + 1;
  }
  if (!reg.WriteString(RegistryHive::kCurrentUser, kSearchPathKey, kSearchPathValue, kept)) {
    throw EPlatformError("cannot record the toolkit directory in the registry");
  }
  if (!reg.Flush()) throw EPlatformError("cannot record the toolkit directory in the registry");
  std::printf("toolkit directory: %s\n", dir.c_str());
}

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

// A LANGID ("0x0407", "1031") or the name of a translator language
// ("German").
std::uint16_t ParseLanguageOption(const std::string& text) {
  if (std::optional<TBrwlLanguage> language = LanguageByName(text)) return TraitsOf(*language)->lang_id;
  unsigned long id = 0;
  std::size_t used = 0;
  try {
    id = std::stoul(text, &used, 0);
  } catch (const std::logic_error&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || id > 0xFFFF) {
    throw EPlatformError("bad language " + text + ": give a LANGID such as 0x0407, a language name or 'host'");
  }
  return static_cast<std::uint16_t>(id);
}

void ApplySettings(Machine& machine, const Options& o) {
  if (!o.windows.empty()) {
    auto family = ParseWindowsFamily(o.windows);
    if (!family) throw EPlatformError("unknown Windows version " + o.windows);
    machine.SetWindowsFamily(*family);
  }
  if (o.language == "host") {
    machine.ClearUserDefaultLangId();
  } else if (!o.language.empty()) {
    machine.SetUserDefaultLangId(ParseLanguageOption(o.language));
  }
}

void PrintInfo(Machine& machine) {
  FileSystem& files = machine.GetFileSystem();
  std::printf("Prefix:            %s\n", machine.PrefixDir().c_str());
  std::printf("Windows:           %s\n", DescribeWindows(machine.GetWindowsFamily()).c_str());
  std::string source = "set in the prefix";
  if (!machine.Config().user_default_lang_stated) {
    HostLocale locale = HostMessagesLocale();
    source = locale.variable.empty() ? "no host locale set" : "from " + locale.variable + "=" + locale.name;
  }
  std::printf("User language:     0x%04X (%s)\n", machine.GetUserDefaultLangId(), source.c_str());
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

constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool HasExtension(std::string_view name, std::string_view ext) {
  if (name.size() < ext.size()) return false;
  std::string_view tail = name.substr(name.size() - ext.size());
  for (std::size_t i = 0; i < ext.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(tail[i])) != ext[i]) return false;
  }
  return true;
}

// Prints every link below `dir` (depth first, in name order); returns the
// number of links that could not be read.
int ListLinks(Machine& machine, const std::string& dir, int depth = 0) {
  int bad = 0;
  auto entries = machine.GetFileSystem().FindFiles(dir + "\\*.*");
  if (!entries || depth > 32) return bad;
  for (const FindData& entry : *entries) {
    const std::string path = dir + "\\" + entry.name;
    if (entry.attributes & kFileAttributeDirectory) {
      bad += ListLinks(machine, path, depth + 1);
    } else if (HasExtension(entry.name, ".LNK")) {
      try {
        auto link = ShellLinksOf(machine).ReadLink(path);
        if (!link) throw EPlatformError(WinErrorText(link.error()));
        std::printf("%s\n  -> %s\n", path.c_str(), link->Target().c_str());
        if (link->arguments) std::printf("  arguments: %s\n", link->arguments->c_str());
        if (link->working_directory) std::printf("  working directory: %s\n", link->working_directory->c_str());
        if (link->hot_key != 0) std::printf("  hot key: %s\n", HotKeyText(link->hot_key).c_str());
      } catch (const EPlatformError& e) {
        std::printf("%s\n  !! %s\n", path.c_str(), e.what());
        ++bad;
      }
    } else if (HasExtension(entry.name, ".URL")) {
      std::string url = machine.GetProfileStrings().GetString(path, "InternetShortcut", "URL", "");
      std::printf("%s\n  -> %s\n", path.c_str(), url.c_str());
    }
  }
  return bad;
}

int PrintLinks(Machine& machine) {
  int bad = 0;
  for (const char* folder : {"Start Menu", "Desktop"}) {
    auto dir = machine.GetRegistry().ReadString(RegistryHive::kCurrentUser, kShellFoldersKey, folder);
    if (dir && !dir->empty()) bad += ListLinks(machine, *dir);
  }
  return bad == 0 ? 0 : 1;
}

void PrintGroups(Machine& machine) {
  ProgramManager progman(machine.GetRegistry());
  for (const std::string& name : progman.GroupNames()) {
    auto group = progman.Group(name);
    if (!group) continue;
    std::printf("%s\n", group->name.c_str());
    for (const ProgramItem& item : group->items) {
      std::printf("  %s\n    command: %s\n", item.name.c_str(), item.command_line.c_str());
      if (!item.default_dir.empty()) std::printf("    directory: %s\n", item.default_dir.c_str());
      if (!item.icon_path.empty()) std::printf("    icon: %s,%d\n", item.icon_path.c_str(), item.icon_index);
      if (!item.hot_key.empty()) std::printf("    hot key: %s\n", item.hot_key.c_str());
    }
  }
}

}  // namespace

int RunPrefix(Args args) {
  if (auto status = AnswerHelp(args, kUsage, true)) return *status;
  if (std::optional<int> status = RunPrefixProductVerbs(args)) return *status;
  Options o = Parse(args);
  std::filesystem::path dir = o.dir.empty() ? DefaultPrefixDir() : std::filesystem::path(o.dir);
  if (o.verb == "init") {
    std::unique_ptr<Machine> machine = OpenMachine(dir, PrefixCreation::kCreateIfMissing);
    ApplySettings(*machine, o);
    RecordToolkitDirectory(*machine);
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
    std::optional<std::int64_t> disk = o.disk == "eject" ? 0 : ParseNumber(o.disk);
    if (!disk || *disk < 0 || *disk > INT32_MAX) throw EPlatformError("the disk " + o.disk + " is not a disk number");
    WinStatus s = o.disk == "eject" ? machine->GetFileSystem().EjectDisk(letter)
                                    : machine->GetFileSystem().InsertDisk(letter, static_cast<int>(*disk));
    if (!s) throw EPlatformError(std::string(1, letter) + ": " + WinErrorText(s.error()));
    return 0;
  }
  if (o.verb == "links") return PrintLinks(*machine);
  if (o.verb == "groups") {
    PrintGroups(*machine);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace brimwell::cli
