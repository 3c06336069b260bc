#include "platform/startup_sequence.h"

#include "platform/file_system.h"
#include "platform/ini_document.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr std::string_view kNtPathPrefix = "\\??\\";

std::string StripNtPrefix(std::string_view path) {
  if (path.starts_with(kNtPathPrefix)) path.remove_prefix(kNtPathPrefix.size());
  return std::string(path);
}

class Sequence {
 public:
  explicit Sequence(Machine& machine)
      : files_(machine.GetFileSystem()), registry_(machine.GetRegistry()), processes_(machine.GetProcesses()) {}

  void DelayedMoves() {
    std::optional<RegistryValue> value =
        registry_.QueryValue(RegistryHive::kLocalMachine, kSessionManagerKey, kPendingRenamesValue);
    if (!value) return;
    std::vector<std::string> list;
    if (value->type == RegistryValueType::kMultiString) {
      list = value->AsMultiString(kPendingRenamesValue);
    } else {
      Fail(std::string(kPendingRenamesValue) + " is not a REG_MULTI_SZ value; ignored");
    }
    for (std::size_t i = 0; i < list.size(); i += 2) {
      std::string source = StripNtPrefix(list[i]);
      std::string_view raw_target = i + 1 < list.size() ? std::string_view(list[i + 1]) : std::string_view();
      Guard("move " + source, [&] {
        if (raw_target.empty()) {
          Delete(source);
          return;
        }
        bool replace = raw_target.starts_with("!");
        if (replace) raw_target.remove_prefix(1);
        std::string target = StripNtPrefix(raw_target);
        std::uint32_t flags = kMoveCopyAllowed | (replace ? std::uint32_t{kMoveReplaceExisting} : 0u);
        WinStatus s = files_.MoveFileEx(source, target, flags);
        Report("move " + source + " -> " + target, s);
      });
    }
    WinStatus s = registry_.DeleteValue(RegistryHive::kLocalMachine, kSessionManagerKey, kPendingRenamesValue);
    if (s) s = registry_.Flush();
    if (!s) Report(std::string("delete ") + kPendingRenamesValue, s);
  }

  void WininitRenames() {
    std::string path = JoinWinPath(files_.WindowsDirectory(), kWininitFile);
    if (!files_.FileExists(path)) return;
    auto opened = files_.Open(path, FileAccess::kRead, kShareReadWrite, FileDisposition::kOpenExisting);
    if (!opened) return Report("read " + path, opened.status());
    std::string bytes;
    char buffer[8192];
    while (true) {
      IoResult read = (*opened)->Read(buffer, sizeof buffer);
      if (read.bytes == 0 || !read.ok()) break;
      bytes.append(buffer, read.bytes);
    }
    opened->reset();
    std::optional<IniDocument> doc = IniDocument::Parse(bytes);
    if (!doc) return Fail(path + " is not a text file; left as it is");
    for (const auto& [target, source] : doc->Entries("Rename")) {
      Guard("rename " + source, [&, &target = target, &source = source] {
        if (WinNamesEqual(target, "NUL")) {
          Delete(source);
          return;
        }
        WinStatus s = files_.MoveFileEx(source, target, kMoveReplaceExisting | kMoveCopyAllowed);
        Report("move " + source + " -> " + target, s);
      });
    }
    std::string backup = ChangeFileExt(path, ".BAK");
    Report("rename " + path + " -> " + backup, files_.MoveFileEx(path, backup, kMoveReplaceExisting));
  }

  void RunOnce(RegistryHive hive) {
    auto values = registry_.Values(hive, kRunOnceKey);
    if (!values) return;
    for (const RegistryValueEntry& entry : *values) {
      const std::string& name = entry.name;
      bool delete_after = name.starts_with("!");
      std::string label = "run " + std::string(HiveName(hive)) + " " + name;
      if (entry.value.type != RegistryValueType::kString && entry.value.type != RegistryValueType::kExpandString) {
        Fail(label + ": not a string value; deleted");
        DeleteRunOnce(hive, name);
        continue;
      }
      std::string command = entry.value.AsString(name);
      label += ": " + command;
      // Deleted before it runs, so that a command that never returns or a
      // crash does not run it at every start.
      if (!delete_after) DeleteRunOnce(hive, name);
      Guard(label, [&] {
        WinResult<int> result = processes_.RunAndWait(command, ShowState::kShowNormal);
        if (!result) {
          Fail(label + ": " + WinErrorText(result.error()));
        } else {
          report_.lines.push_back(label + " (exit code " + std::to_string(*result) + ")");
        }
      });
      if (delete_after) DeleteRunOnce(hive, name);
    }
  }

  StartupReport Take() { return std::move(report_); }

 private:
  template <typename Fn>
  void Guard(const std::string& what, Fn fn) {
    // A path the prefix cannot map spoils one step, not the sequence.
    try {
      fn();
    } catch (const EPlatformError& e) {
      Fail(what + ": " + e.what());
    }
  }

  void Delete(const std::string& path) {
    WinStatus s = files_.DirectoryExists(path) ? files_.RemoveDirectory(path) : files_.DeleteFile(path);
    Report("delete " + path, s);
  }

  void DeleteRunOnce(RegistryHive hive, const std::string& name) {
    WinStatus s = registry_.DeleteValue(hive, kRunOnceKey, name);
    if (s) s = registry_.Flush();
    if (!s) Report("delete RunOnce value " + name, s);
  }

  void Report(const std::string& what, const WinStatus& status) {
    if (status) {
      report_.lines.push_back(what);
    } else {
      Fail(what + ": " + WinErrorText(status.error()));
    }
  }

  void Fail(const std::string& text) {
    report_.lines.push_back(text);
    ++report_.failures;
  }

  FileSystem& files_;
  Registry& registry_;
  Processes& processes_;
  StartupReport report_;
};

}  // namespace

StartupReport RunStartupSequence(Machine& machine) {
  Sequence sequence(machine);
  sequence.DelayedMoves();
  sequence.WininitRenames();
  sequence.RunOnce(RegistryHive::kLocalMachine);
  sequence.RunOnce(RegistryHive::kCurrentUser);
  return sequence.Take();
}

}  // namespace brimwell
