#include "uninstall/uninstaller.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>

#include "framework/format.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/platform_errors.h"
#include "platform/processes.h"
#include "platform/profile_strings.h"
#include "platform/program_manager.h"
#include "platform/registry.h"
#include "platform/scoped_current_directory.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr RegistryHive kMachineHive = RegistryHive::kLocalMachine;
constexpr char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char kHelpKey[] = "SOFTWARE\\Microsoft\\Windows\\Help";
constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kWininitFile[] = "WININIT.INI";

// Texts of the report.
constexpr char kOutsidePrefix[] = "the path lies outside this machine's drives; nothing was done";
constexpr char kIsAFolder[] = "the record names a folder, not a file";
constexpr char kChangedSinceInstall[] = "changed since the installation; kept";
constexpr char kStillShared[] = "still used by other products (count now %s)";
constexpr char kSharedCountUnreadable[] = "its shared count is not a number; kept";
constexpr char kDeletedAtNextStart[] = "in use; deleted at the next start";
constexpr char kValueChanged[] = "holds other data than was written; kept";

std::string Trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

std::string WithoutLeadingBackslashes(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return std::string(key);
}

std::string ErrorText(WinError error) { return "Windows error " + std::to_string(error); }

}  // namespace

const char* OutcomeName(StepOutcome outcome) {
  switch (outcome) {
    case StepOutcome::kRemoved:
      return "removed";
    case StepOutcome::kAlreadyGone:
      return "already gone";
    case StepOutcome::kShared:
      return "kept (shared)";
    case StepOutcome::kScheduled:
      return "removed at the next start";
    case StepOutcome::kKeptChanged:
      return "kept (changed)";
    case StepOutcome::kKeptInUse:
      return "kept";
    case StepOutcome::kRefused:
      return "refused";
    case StepOutcome::kFailed:
      return "failed";
  }
  return "?";
}

bool UninstallReport::Complete() const {
  if (!problems.empty()) return false;
  return std::none_of(steps.begin(), steps.end(), [](const UninstallStep& s) {
    return s.outcome == StepOutcome::kFailed || s.outcome == StepOutcome::kRefused;
  });
}

bool UninstallReport::KeptChanged() const {
  return std::any_of(steps.begin(), steps.end(),
                     [](const UninstallStep& s) { return s.outcome == StepOutcome::kKeptChanged; });
}

bool UninstallReport::Scheduled() const {
  return std::any_of(steps.begin(), steps.end(),
                     [](const UninstallStep& s) { return s.outcome == StepOutcome::kScheduled; });
}

// One run: the machine's services, the steps so far and what stays in the
// record.
class Uninstaller::Run_ {
 public:
  Run_(Machine& machine, const ProductRecord& record, const Progress& progress, int total)
      : machine_(machine),
        fs_(machine.GetFileSystem()),
        registry_(machine.GetRegistry()),
        paths_(machine.GetPaths()),
        record_(record),
        progress_(progress),
        total_(total) {}

  UninstallReport Go() {
    report_.problems = record_.problems;
    for (auto it = record_.servers.rbegin(); it != record_.servers.rend(); ++it) Unregister(*it);
    for (auto it = record_.registry_keys.rbegin(); it != record_.registry_keys.rend(); ++it) RemoveRegistry(*it);
    for (auto it = record_.ini_files.rbegin(); it != record_.ini_files.rend(); ++it) RemoveIni(*it);
    for (auto it = record_.files.rbegin(); it != record_.files.rend(); ++it) {
      if (!Finished(RemoveFile(it->path, true))) unfinished_values_.insert(Sub(it->list) + "\\File" + std::to_string(it->number));
    }
    for (auto it = record_.servers.rbegin(); it != record_.servers.rend(); ++it) {
      if (!Finished(RemoveFile(it->path, false))) unfinished_values_.insert(Sub(kActiveXList) + "\\File" + std::to_string(it->number));
    }
    const bool keep_record = !unfinished_values_.empty() || !unfinished_keys_.empty();
    // The uninstall program stays while the record does, so that it can be
    // run again once the files in use are gone or the errors mended.
    const std::string program = record_.UninstallProgram();
    if (!keep_record && !program.empty()) RemoveFile(program, false);
    RemoveEmptyFolders();
    RemoveEmptyProgramGroups();
    PruneEmptyKey(kMachineHive, kSharedDllsKey, 0);
    PruneEmptyKey(kMachineHive, kHelpKey, 0);
    if (keep_record) {
      ShortenRecord();
    } else {
      RemoveRecord();
    }
    (void)registry_.Flush();
    return std::move(report_);
  }

 private:
  static bool Finished(StepOutcome outcome) {
    return outcome != StepOutcome::kScheduled && outcome != StepOutcome::kFailed;
  }

  std::string Sub(std::string_view name) const { return record_.key + "\\" + std::string(name); }

  StepOutcome Step(std::string what, StepOutcome outcome, std::string detail = {}) {
    report_.steps.push_back(UninstallStep{std::move(what), outcome, std::move(detail)});
    ++done_;
    if (progress_) progress_(report_.steps.back(), done_, std::max(total_, done_));
    return outcome;
  }

  // True when `path` is a full path on a drive that shows a directory of
  // the prefix; fills `full` with its normalised form.
  bool InsidePrefix(std::string_view path, std::string& full) {
    if (!IsWinFullPath(path)) return false;
    try {
      full = paths_.FullPath(path);
    } catch (const EPathError&) {
      return false;
    }
    std::optional<char> letter = WinDriveLetter(full);
    if (!letter || full.size() <= 3) return false;  // never a drive's root
    std::optional<DriveMapping> drive = paths_.Drive(*letter);
    if (!drive) return false;
    const std::filesystem::path relative =
        drive->target.lexically_normal().lexically_relative(machine_.PrefixDir().lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
  }

  // --- Shared counts ---------------------------------------------------------

  // The SharedDLLs value that counts `path` (short name first, as the
  // installer looks), or nullopt when none does.
  std::optional<std::string> SharedCountName(const std::string& path) {
    if (auto short_path = fs_.GetShortPathName(path); short_path.ok()) {
      if (registry_.ValueExists(kMachineHive, kSharedDllsKey, *short_path)) return *short_path;
    }
    if (registry_.ValueExists(kMachineHive, kSharedDllsKey, path)) return path;
    return std::nullopt;
  }

  // --- Servers ----------------------------------------------------------------

  void Unregister(const RecordedServer& server) {
    const std::string what = "registration of " + server.path;
    std::string full;
    if (!InsidePrefix(server.path, full)) {
      Step(what, StepOutcome::kRefused, kOutsidePrefix);
      return;
    }
    if (!fs_.FileExists(full)) {
      Step(what, StepOutcome::kAlreadyGone);
      return;
    }
    // Other products still use a shared server: it stays registered.
    if (std::optional<std::string> name = SharedCountName(full)) {
      std::optional<std::uint32_t> count = registry_.FindDword(kMachineHive, kSharedDllsKey, *name);
      if (!count || *count > 1) {
        Step(what, StepOutcome::kShared, "still used by other products");
        return;
      }
    }
    ScopedCurrentDirectory cwd(paths_, ExtractFileDir(full));
    if (server.executable) {
      auto status = machine_.GetProcesses().RunAndWait(full + " /UNREGSERVER", ShowState::kHide);
      if (!status.ok()) {
        Step(what, StepOutcome::kFailed, "the program could not be started: " + ErrorText(status.error()));
      } else if (*status != 0) {
        Step(what, StepOutcome::kFailed, full + " /UNREGSERVER ended with status " + std::to_string(*status));
      } else {
        Step(what, StepOutcome::kRemoved);
      }
      return;
    }
    auto library = machine_.GetProcesses().LoadLibrary(full);
    if (!library.ok()) {
      Step(what, StepOutcome::kFailed, "the library could not be loaded: " + ErrorText(library.error()));
      return;
    }
    using DllUnregisterServerFunction = std::int32_t (*)();
    void* entry = (*library)->GetProcAddress("DllUnregisterServer");
    if (entry == nullptr) {
      Step(what, StepOutcome::kFailed, "the library has no DllUnregisterServer");
      return;
    }
    const std::int32_t result = reinterpret_cast<DllUnregisterServerFunction>(entry)();
    if (result != 0) {
      Step(what, StepOutcome::kFailed, "DllUnregisterServer returned " + std::to_string(result));
      return;
    }
    Step(what, StepOutcome::kRemoved);
  }

  // --- Files ------------------------------------------------------------------

  StepOutcome RemoveFile(const std::string& path, bool may_be_program_item) {
    const std::string what = "file " + path;
    std::string full;
    if (!InsidePrefix(path, full)) return Step(what, StepOutcome::kRefused, kOutsidePrefix);
    if (fs_.DirectoryExists(full)) return Step(what, StepOutcome::kRefused, kIsAFolder);
    folders_.insert(ExtractFileDir(full));

    if (std::optional<std::string> name = SharedCountName(full)) {
      std::optional<std::uint32_t> count = registry_.FindDword(kMachineHive, kSharedDllsKey, *name);
      if (!count) return Step(what, StepOutcome::kKeptInUse, kSharedCountUnreadable);
      if (*count > 1) {
        if (!registry_.WriteDword(kMachineHive, kSharedDllsKey, *name, *count - 1).ok()) {
          return Step(what, StepOutcome::kFailed, "its shared count could not be written");
        }
        return Step(what, StepOutcome::kShared, Format(kStillShared, {std::to_string(*count - 1)}));
      }
      if (WinStatus deleted = registry_.DeleteValue(kMachineHive, kSharedDllsKey, *name);
          !deleted.ok() && deleted.error() != kErrorFileNotFound) {
        return Step(what, StepOutcome::kFailed, "its shared count could not be removed");
      }
    }

    if (!fs_.FileExists(full)) {
      if (may_be_program_item && RemoveProgramItem(full)) {
        return Step("Program Manager item " + ExtractFileName(ExtractFileDir(full)) + "\\" +
                        ChangeFileExt(ExtractFileName(full), ""),
                    StepOutcome::kRemoved);
      }
      return Step(what, StepOutcome::kAlreadyGone);
    }
    if (std::optional<std::string> recorded = record_.DigestOf(path)) {
      if (FileDigestOf(fs_, full) != recorded) return Step(what, StepOutcome::kKeptChanged, kChangedSinceInstall);
    }
    WinStatus deleted = fs_.DeleteFile(full);
    if (deleted.ok() || deleted.error() == kErrorFileNotFound) {
      ForgetHelp(full);
      return Step(what, deleted.ok() ? StepOutcome::kRemoved : StepOutcome::kAlreadyGone);
    }
    if (deleted.error() == kErrorSharingViolation && ScheduleDeletion(full)) {
      ForgetHelp(full);
      return Step(what, StepOutcome::kScheduled, kDeletedAtNextStart);
    }
    return Step(what, StepOutcome::kFailed, "could not be deleted: " + ErrorText(deleted.error()));
  }

  // Deletes `path` at the next start: a delayed move on NT, a line
  // "NUL=<short path>" in WININIT.INI on the others.
  bool ScheduleDeletion(const std::string& path) {
    WinStatus delayed = fs_.MoveFileEx(path, "", kMoveDelayUntilReboot);
    if (delayed.ok()) return true;
    if (delayed.error() != kErrorCallNotImplemented) return false;
    auto short_path = fs_.GetShortPathName(path);
    if (!short_path.ok()) return false;
    return AppendWininitLine("NUL=" + *short_path);
  }

  // Adds a line to the [Rename] section of WININIT.INI, keeping every line
  // there (the section holds the same key several times, which the profile
  // functions cannot write).
  bool AppendWininitLine(const std::string& line) {
    const std::string file = JoinWinPath(fs_.WindowsDirectory(), kWininitFile);
    std::string text;
    if (fs_.FileExists(file)) {
      auto in = fs_.Open(file, FileAccess::kRead, kShareRead, FileDisposition::kOpenExisting);
      if (!in.ok()) return false;
      char buffer[4096];
      for (;;) {
        IoResult got = (*in)->Read(buffer, sizeof buffer);
        if (!got.ok()) return false;
        if (got.bytes == 0) break;
        text.append(buffer, got.bytes);
      }
    }
    const std::string header = "[Rename]";
    std::size_t at = std::string::npos;
    for (std::size_t pos = 0; pos < text.size();) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      if (WinNamesEqual(Trimmed(std::string_view(text).substr(pos, end - pos)), header) ||
          WinNamesEqual(Trimmed(std::string_view(text).substr(pos, end - pos)), header + "\r")) {
        at = std::min(end + 1, text.size());
        break;
      }
      pos = end + 1;
    }
    if (at == std::string::npos) {
      if (!text.empty() && text.back() != '\n') text += "\r\n";
      text += header + "\r\n";
      at = text.size();
    } else if (at == text.size() && !text.empty() && text.back() != '\n') {
      text += "\r\n";
      at = text.size();
    }
    text.insert(at, line + "\r\n");
    auto out = fs_.CreateReplacement(file);
    if (!out.ok()) return false;
    if ((*out)->Write(text.data(), text.size()).bytes != text.size()) return false;
    return (*out)->Commit(false).ok();
  }

  // The help registration of a deleted file, when it names the file's folder.
  void ForgetHelp(const std::string& path) {
    const std::string name = WinUpperCase(ExtractFileName(path));
    std::optional<std::string> dir = registry_.FindString(kMachineHive, kHelpKey, name);
    if (dir && WinNamesEqual(ExcludeTrailingBackslash(*dir), ExtractFileDir(path))) {
      (void)registry_.DeleteValue(kMachineHive, kHelpKey, name);
    }
  }

  // --- Program Manager ----------------------------------------------------------

  // On shells without links a recorded link was made as the item named
  // after it in the group named after its folder.
  bool RemoveProgramItem(const std::string& link_path) {
    const WindowsFamily family = machine_.GetWindowsFamily();
    if (family != WindowsFamily::kWin32s && family != WindowsFamily::kNT351) return false;
    const std::string group = ExtractFileName(ExtractFileDir(link_path));
    const std::string item = ChangeFileExt(ExtractFileName(link_path), "");
    ProgramManager manager(registry_);
    std::optional<ProgramGroup> found = manager.Group(group);
    if (!found) return false;
    const bool has_item = std::any_of(found->items.begin(), found->items.end(),
                                      [&](const ProgramItem& i) { return WinNamesEqual(i.name, item); });
    if (!has_item) return false;
    if (!manager.Execute("[ShowGroup(\"" + found->name + "\",8)][DeleteItem(\"" + item + "\")]")) return false;
    program_groups_.insert(found->name);
    return true;
  }

  void RemoveEmptyProgramGroups() {
    ProgramManager manager(registry_);
    for (const std::string& name : program_groups_) {
      std::optional<ProgramGroup> group = manager.Group(name);
      if (!group || !group->items.empty()) continue;
      if (manager.Execute("[DeleteGroup(\"" + group->name + "\")]")) {
        Step("Program Manager group " + group->name, StepOutcome::kRemoved);
      }
    }
    // Program Manager keeps its groups below one key, which the first group
    // made; without groups it goes too.
    if (!program_groups_.empty()) PruneEmptyKey(RegistryHive::kCurrentUser, kProgramGroupsKey, 0);
  }

  // --- Folders ------------------------------------------------------------------

  // The machine's own folders, which stay even when empty: drive roots,
  // the Windows, system and temporary folders, the shell folders, Program
  // Files and Common Files.
  std::set<std::string> ProtectedFolders() {
    std::set<std::string> kept;
    auto keep = [&](std::string path) {
      if (path.empty()) return;
      try {
        kept.insert(WinUpperCase(ExcludeTrailingBackslash(paths_.FullPath(path))));
      } catch (const EPathError&) {
        // A setting that names no path protects nothing.
      }
    };
    keep(fs_.WindowsDirectory());
    keep(fs_.SystemDirectory());
    keep(fs_.TempPath());
    for (RegistryHive hive : {RegistryHive::kCurrentUser, RegistryHive::kLocalMachine}) {
      for (const char* key : {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"}) {
        if (auto values = registry_.Values(hive, key); values.ok()) {
          for (const RegistryValueEntry& v : *values) {
            if (v.value.type == RegistryValueType::kString) keep(v.value.data);
          }
        }
      }
    }
    for (const char* name : {"ProgramFilesDir", "CommonFilesDir"}) {
      keep(registry_.FindString(kMachineHive, kCurrentVersionKey, name).value_or(""));
    }
    return kept;
  }

  void RemoveEmptyFolders() {
    const std::set<std::string> kept = ProtectedFolders();
    std::set<std::string> tried;
    std::vector<std::string> work(folders_.begin(), folders_.end());
    while (!work.empty()) {
      // Deepest first, so that a folder is tried after its subfolders.
      std::sort(work.begin(), work.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
      });
      const std::string dir = work.back();
      work.pop_back();
      const std::string upper = WinUpperCase(dir);
      if (dir.size() <= 3 || kept.count(upper) != 0 || !tried.insert(upper).second) continue;
      if (!fs_.DirectoryExists(dir)) continue;
      if (!fs_.RemoveDirectory(dir).ok()) continue;  // it holds something: it stays
      Step("folder " + dir, StepOutcome::kRemoved);
      work.push_back(ExtractFileDir(dir));
    }
  }

  // --- Registry values ----------------------------------------------------------

  void RemoveRegistry(const RecordedRegistryKey& entry) {
    const std::string key = WithoutLeadingBackslashes(entry.key);
    const std::string shown = std::string(HiveName(entry.hive)) + "\\" + key;
    for (const auto& [name, text] : entry.values) {
      const std::string what = "registry value " + shown + "\\" + name;
      std::optional<RegistryValue> value = registry_.QueryValue(entry.hive, key, name);
      if (!value) {
        Step(what, StepOutcome::kAlreadyGone);
        continue;
      }
      const bool is_text = value->type == RegistryValueType::kString || value->type == RegistryValueType::kExpandString;
      if ((is_text && value->data != text) || (!is_text && !text.empty())) {
        Step(what, StepOutcome::kKeptChanged, kValueChanged);
        continue;
      }
      WinStatus deleted = registry_.DeleteValue(entry.hive, key, name);
      if (!deleted.ok() && deleted.error() != kErrorFileNotFound) {
        Step(what, StepOutcome::kFailed, ErrorText(deleted.error()));
        unfinished_keys_.insert(Sub("RegistryKeys\\RegistryKey" + std::to_string(entry.number)));
        continue;
      }
      Step(what, StepOutcome::kRemoved);
    }
    // The key and the keys above it that the product alone filled, never a
    // key at the top of a hive.
    PruneEmptyKey(entry.hive, key, 1);
  }

  // Deletes `key` when it holds neither values nor subkeys, then each key
  // above it likewise while more than `keep_depth` levels remain.
  void PruneEmptyKey(RegistryHive hive, std::string key, std::size_t keep_depth) {
    for (;;) {
      const std::size_t depth = static_cast<std::size_t>(std::count(key.begin(), key.end(), '\\')) + 1;
      if (key.empty() || depth <= keep_depth || !registry_.KeyExists(hive, key)) return;
      auto subkeys = registry_.SubKeys(hive, key);
      auto values = registry_.ValueNames(hive, key);
      if (!subkeys.ok() || !values.ok() || !subkeys->empty() || !values->empty()) return;
      if (!registry_.DeleteKey(hive, key).ok()) return;
      if (keep_depth == 0) return;  // only this key
      const std::size_t slash = key.rfind('\\');
      if (slash == std::string::npos) return;
      key.resize(slash);
    }
  }

  // --- INI values ----------------------------------------------------------------

  void RemoveIni(const RecordedIniFile& entry) {
    ProfileStrings& profile = machine_.GetProfileStrings();
    std::string file;
    if (!InsidePrefix(entry.path, file)) {
      Step("INI file " + entry.path, StepOutcome::kRefused, kOutsidePrefix);
      return;
    }
    if (!fs_.FileExists(file)) {
      for (const RecordedIniEntry& e : entry.entries) {
        Step("INI value " + file + " [" + e.section + "] " + e.key, StepOutcome::kAlreadyGone);
      }
      return;
    }
    std::vector<std::string> sections;
    try {
      for (const RecordedIniEntry& e : entry.entries) {
        const std::string what = "INI value " + file + " [" + e.section + "] " + e.key;
        const std::vector<std::string> keys = profile.KeyNames(file, e.section);
        const bool present =
            std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return WinNamesEqual(k, e.key); });
        if (!present) {
          Step(what, StepOutcome::kAlreadyGone);
          continue;
        }
        if (Trimmed(profile.GetString(file, e.section, e.key, "")) != Trimmed(e.value)) {
          Step(what, StepOutcome::kKeptChanged, kValueChanged);
          continue;
        }
        WinStatus written = profile.WriteString(file, e.section, e.key, std::nullopt);
        if (!written.ok()) {
          Step(what, StepOutcome::kFailed, ErrorText(written.error()));
          unfinished_keys_.insert(Sub("INIFiles\\INIFile" + std::to_string(entry.number)));
          continue;
        }
        Step(what, StepOutcome::kRemoved);
        sections.push_back(e.section);
      }
      for (const std::string& section : sections) {
        if (profile.KeyNames(file, section).empty()) (void)profile.WriteString(file, section, std::nullopt, std::nullopt);
      }
      if (!profile.SectionNames(file).empty()) return;
    } catch (const EProfileError& e) {
      Step("INI file " + file, StepOutcome::kFailed, e.what());
      unfinished_keys_.insert(Sub("INIFiles\\INIFile" + std::to_string(entry.number)));
      return;
    }
    // An INI file left without sections goes when nothing else is in it.
    auto size = fs_.FileSize(file);
    std::optional<std::string> digest = FileDigestOf(fs_, file);
    if (!size.ok() || !digest) return;
    if (*size > 0 && !BlankFile(file)) return;
    if (fs_.DeleteFile(file).ok()) {
      folders_.insert(ExtractFileDir(file));
      Step("INI file " + file, StepOutcome::kRemoved);
    }
  }

  // True when the file holds nothing but blanks and line ends.
  bool BlankFile(const std::string& file) {
    auto in = fs_.Open(file, FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
    if (!in.ok()) return false;
    char buffer[4096];
    for (;;) {
      IoResult got = (*in)->Read(buffer, sizeof buffer);
      if (!got.ok()) return false;
      if (got.bytes == 0) return true;
      for (std::size_t i = 0; i < got.bytes; ++i) {
        if (buffer[i] != ' ' && buffer[i] != '\t' && buffer[i] != '\r' && buffer[i] != '\n') return false;
      }
    }
  }

  // --- The record ------------------------------------------------------------------

  void RemoveRecord() {
    WinStatus removed = registry_.DeleteTree(kMachineHive, record_.key);
    if (!removed.ok() && removed.error() != kErrorFileNotFound) {
      Step("uninstall record " + record_.key, StepOutcome::kFailed, ErrorText(removed.error()));
      return;
    }
    report_.record_removed = true;
    Step("uninstall record " + WithoutLeadingBackslashes(record_.key), StepOutcome::kRemoved);
    std::string list = WithoutLeadingBackslashes(record_.key);
    list.resize(list.rfind('\\'));
    PruneEmptyKey(kMachineHive, list, 0);
  }

  // Keeps in the record only what is still to be done, with counts that
  // match what is left.
  void ShortenRecord() {
    auto shorten_list = [&](const std::string& list_key) {
      auto values = registry_.Values(kMachineHive, list_key);
      if (!values.ok()) return;
      int highest = 0;
      for (const RegistryValueEntry& v : *values) {
        if (!WinNamesEqual(v.name.substr(0, 4), "File")) continue;
        if (unfinished_values_.count(list_key + "\\" + v.name) == 0) {
          (void)registry_.DeleteValue(kMachineHive, list_key, v.name);
        } else {
          highest = std::max(highest, std::atoi(v.name.c_str() + 4));
        }
      }
      if (highest == 0) {
        (void)registry_.DeleteTree(kMachineHive, list_key);
      } else {
        (void)registry_.WriteString(kMachineHive, list_key, kEntriesValue, std::to_string(highest));
      }
    };
    std::set<std::string> lists;
    for (const RecordedFile& f : record_.files) lists.insert(Sub(f.list));
    if (!record_.servers.empty()) lists.insert(Sub(kActiveXList));
    for (const std::string& list : lists) shorten_list(list);
    auto shorten_keys = [&](const std::string& list_key) {
      auto names = registry_.SubKeys(kMachineHive, list_key);
      if (!names.ok()) return;
      int highest = 0;
      for (const std::string& name : *names) {
        const std::string key = list_key + "\\" + name;
        if (unfinished_keys_.count(key) == 0) {
          (void)registry_.DeleteTree(kMachineHive, key);
        } else {
          const std::size_t digits = name.find_first_of("0123456789");
          if (digits != std::string::npos) highest = std::max(highest, std::atoi(name.c_str() + digits));
        }
      }
      if (highest == 0) {
        (void)registry_.DeleteTree(kMachineHive, list_key);
      } else {
        (void)registry_.WriteString(kMachineHive, list_key, kEntriesValue, std::to_string(highest));
      }
    };
    shorten_keys(Sub("RegistryKeys"));
    shorten_keys(Sub("INIFiles"));
    Step("uninstall record " + WithoutLeadingBackslashes(record_.key), StepOutcome::kKeptInUse,
         "keeps what is left to do");
  }

  Machine& machine_;
  FileSystem& fs_;
  Registry& registry_;
  Paths& paths_;
  const ProductRecord& record_;
  const Progress& progress_;
  int total_ = 0;
  int done_ = 0;
  UninstallReport report_;
  std::set<std::string> folders_;
  std::set<std::string> program_groups_;
  // Full names ("<list key>\File<n>") and keys of record entries still to do.
  std::set<std::string> unfinished_values_;
  std::set<std::string> unfinished_keys_;
};

Uninstaller::Uninstaller(Machine& machine, ProductRecord record) : machine_(machine), record_(std::move(record)) {}

int Uninstaller::PlannedSteps() const {
  int steps = static_cast<int>(record_.files.size() + 2 * record_.servers.size()) + 2;
  for (const RecordedRegistryKey& key : record_.registry_keys) steps += static_cast<int>(key.values.size());
  for (const RecordedIniFile& file : record_.ini_files) steps += static_cast<int>(file.entries.size());
  return steps;
}

UninstallReport Uninstaller::Run() {
  Run_ run(machine_, record_, progress_, PlannedSteps());
  return run.Go();
}

}  // namespace brimwell
