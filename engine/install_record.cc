// The install record: a registry key per setup program under
// HKEY_LOCAL_MACHINE\SOFTWARE\Brimwell\Install, found again by the date and
// size of the running engine (its path changes, since the loading program
// unpacks it into a new temporary directory each time).
//
//   Install<n>\Path          REG_SZ      the running engine's full path
//              CreationDate  REG_BINARY  its file date, 8-byte date-time
//              Size          REG_DWORD   its size in bytes
//              LastRunDate   REG_BINARY  start of the latest run
//              SelfExtract   REG_SZ      the self-extracting program (-e runs)
//              Language      REG_DWORD   the saved translator language
//              Unfinished\   unfinished work after a reboot
//              <component>\LocalFile  a downloaded archive
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/file_related.h"
#include "engine/install.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"
#include "platform/startup_sequence.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr double kSameDateTolerance = 1e-7;  // days, about 9 ms
constexpr RegistryHive kHive = RegistryHive::kLocalMachine;

std::string DateBytes(TDateTime date) {
  static_assert(sizeof(TDateTime) == 8, "a date-time is stored as an 8-byte double");
  std::string bytes(8, '\0');
  std::memcpy(bytes.data(), &date, 8);  // little-endian, as the registry keeps it
  return bytes;
}

std::optional<TDateTime> ReadDate(Registry& reg, const std::string& key, const char* name) {
  std::optional<std::string> bytes = reg.FindBinary(kHive, key, name);
  if (!bytes || bytes->size() != 8) return std::nullopt;
  TDateTime date;
  std::memcpy(&date, bytes->data(), 8);
  if (!std::isfinite(date)) return std::nullopt;
  return date;
}

// The directories the loading program unpacks into: "bwl" and six more
// characters, made new for each start.
bool IsLoaderDirectory(const std::string& dir) {
  const std::string name = ExtractFileName(dir);
  return name.size() == 9 && WinUpperCase(name.substr(0, 3)) == "BWL";
}

// Removes the files of `dir` and then `dir` (the loader makes no
// subdirectories).
void RemoveFlatDirectory(FileSystem& fs, const std::string& dir) {
  if (auto entries = fs.FindFiles(dir + "\\*")) {
    for (const FindData& entry : *entries) {
      if (entry.name == "." || entry.name == "..") continue;
      fs.DeleteFile(dir + "\\" + entry.name).IgnoreError();  // a file in use stays
    }
  }
  fs.RemoveDirectory(dir).IgnoreError();
}

// Deletes the record `key` with its subkeys and the downloaded archive
// copies they name.
void DeleteRecord(Machine& machine, const std::string& key) {
  Registry& reg = machine.GetRegistry();
  if (auto subkeys = reg.SubKeys(kHive, key)) {
    for (const std::string& sub : *subkeys) {
      auto local = reg.FindString(kHive, key + "\\" + sub, kLocalFileValue);
      if (local && local->find_first_not_of(' ') != std::string::npos) {
        try {
          machine.GetFileSystem().DeleteFile(*local).IgnoreError();
        } catch (const EPathError&) {
          // A value that names no file leaves nothing to delete.
        }
      }
    }
  }
  reg.DeleteTree(kHive, key).IgnoreError();
}

}  // namespace

std::vector<std::string> RemoveStaleInstallRecords(Machine& machine, const std::string& own_engine,
                                                   const std::function<bool(const std::string&)>& keep) {
  Registry& reg = machine.GetRegistry();
  FileSystem& fs = machine.GetFileSystem();
  std::vector<std::string> removed;
  auto subkeys = reg.SubKeys(kHive, kInstallRecordRoot);
  if (!subkeys) return removed;
  // The commands that a restart will run: their engines must stay.
  std::string pending;
  if (auto run_once = reg.Values(kHive, kRunOnceKey)) {
    for (const RegistryValueEntry& entry : *run_once) {
      if (entry.value.type == RegistryValueType::kString) pending += WinUpperCase(entry.value.data) + "\n";
    }
  }
  for (const std::string& sub : *subkeys) {
    const std::string key = std::string(kInstallRecordRoot) + "\\" + sub;
    auto path = reg.FindString(kHive, key, "Path");
    if (!path || path->empty() || SameText(*path, own_engine)) continue;
    if (reg.KeyExists(kHive, key + "\\" + kUnfinishedSubkey)) continue;
    if (pending.find(WinUpperCase(*path)) != std::string::npos) continue;
    // Only a copy the loading program made is known to be a run's own: an
    // engine started from elsewhere (a developer's, a test's) keeps its
    // record as before.
    const std::string dir = ExtractFileDir(*path);
    if (!IsLoaderDirectory(dir)) continue;
    try {
      if (fs.DirectoryExists(dir)) RemoveFlatDirectory(fs, dir);
    } catch (const EPathError&) {
      // A path the machine cannot map has no copy to remove.
    }
    if (keep && keep(key)) continue;  // the caller's own setup program goes on with it
    DeleteRecord(machine, key);
    removed.push_back(key);
  }
  if (!removed.empty()) {
    for (const char* parent : {kInstallRecordRoot, kBrimwellKey}) {
      auto left = reg.SubKeys(kHive, parent);
      if (left.ok() && left->empty()) reg.DeleteKey(kHive, parent).IgnoreError();
    }
    reg.Flush().IgnoreError();
  }
  return removed;
}

void TCustomInstall::TakeInstallLock() {
  EngineContext* ctx = Context();
  if (install_lock_) return;
  int holder = 0;
  install_lock_ = ctx->GetMachine().TryLockInstall(holder);
  if (!install_lock_) Raise<EAIInstallRunning>(ctx, kInstallRunning, {holder});
  // The record of this same setup program (its engine's date and size)
  // stays for FindInstallRecord, with the downloads it names; only the
  // engine copy of the stopped run goes.
  Machine& machine = ctx->GetMachine();
  auto size = machine.GetFileSystem().FileSize(ctx->ExecutablePath());
  auto date = machine.GetFileSystem().LastWriteTime(ctx->ExecutablePath());
  auto same_setup = [&](const std::string& key) {
    Registry& reg = machine.GetRegistry();
    auto created = ReadDate(reg, key, "CreationDate");
    auto stored_size = reg.FindDword(kHive, key, "Size");
    return size.ok() && date.ok() && created && stored_size && std::fabs(*created - *date) < kSameDateTolerance &&
           *stored_size == static_cast<std::uint32_t>(*size);
  };
  for (const std::string& key : RemoveStaleInstallRecords(machine, ctx->ExecutablePath(), same_setup)) {
    ctx->Log().Write("record", "removed " + key + ", left by an installation that was stopped");
  }
}

std::string TCustomInstall::FindInstallRecord(bool create) {
  EngineContext* ctx = Context();
  Machine& machine = ctx->GetMachine();
  Registry& reg = machine.GetRegistry();
  FileSystem& fs = machine.GetFileSystem();

  const std::string exe = ctx->ExecutablePath();
  auto size = fs.FileSize(exe);
  auto date = fs.LastWriteTime(exe);
  if (!size.ok() || !date.ok()) return {};  // without its identity no record can be matched

  if (!reg.CreateKey(kHive, kInstallRecordRoot).ok()) return {};
  auto subkeys = reg.SubKeys(kHive, kInstallRecordRoot);
  if (subkeys.ok()) {
    for (const std::string& sub : *subkeys) {
      const std::string key = std::string(kInstallRecordRoot) + "\\" + sub;
      auto path = reg.FindString(kHive, key, "Path");
      auto created = ReadDate(reg, key, "CreationDate");
      auto stored_size = reg.FindDword(kHive, key, "Size");
      if (!path || !created || !stored_size) continue;
      if (std::fabs(*created - *date) < kSameDateTolerance && *stored_size == static_cast<std::uint32_t>(*size)) {
        reg.WriteBinary(kHive, key, "LastRunDate", DateBytes(run_start_time_)).IgnoreError();
        reg.WriteString(kHive, key, "Path", exe).IgnoreError();
        return key;
      }
    }
  }
  if (!create) return {};

  std::string key;
  for (int n = 0;; ++n) {
    key = std::string(kInstallRecordRoot) + "\\Install" + std::to_string(n);
    if (!reg.KeyExists(kHive, key)) break;
  }
  bool ok = reg.CreateKey(kHive, key).ok() && reg.WriteString(kHive, key, "Path", exe).ok() &&
            reg.WriteBinary(kHive, key, "LastRunDate", DateBytes(run_start_time_)).ok() &&
            reg.WriteBinary(kHive, key, "CreationDate", DateBytes(*date)).ok() &&
            reg.WriteDword(kHive, key, "Size", static_cast<std::uint32_t>(*size)).ok();
  if (ok && HasSwitch(EngineSwitch::kSelfExtract)) {
    ok = reg.WriteString(kHive, key, "SelfExtract",
                         install_source_dir_ + "\\" + SwitchArgument(EngineSwitch::kSelfExtract))
             .ok();
  }
  if (!ok) return {};
  reg.Flush().IgnoreError();  // the record must survive a crash of the run
  return key;
}

void TCustomInstall::RemoveInstallRecord() {
  EngineContext* ctx = Context();
  const std::string key = ctx->InstallRecordKey();
  if (key.empty()) return;
  Machine& machine = ctx->GetMachine();
  Registry& reg = machine.GetRegistry();
  auto subkeys = reg.SubKeys(kHive, key);
  if (subkeys.ok()) {
    for (const std::string& sub : *subkeys) {
      const std::string sub_key = key + "\\" + sub;
      auto local = reg.FindString(kHive, sub_key, kLocalFileValue);
      if (local && local->find_first_not_of(' ') != std::string::npos) {
        try {
          machine.GetFileSystem().DeleteFile(*local).IgnoreError();  // a copy that is gone is fine
        } catch (const EPathError&) {
          // A value that names no file leaves nothing to delete.
        }
      }
      reg.DeleteTree(kHive, sub_key).IgnoreError();
    }
  }
  reg.DeleteTree(kHive, key).IgnoreError();
  for (const char* parent : {kInstallRecordRoot, kBrimwellKey}) {
    auto left = reg.SubKeys(kHive, parent);
    if (left.ok() && left->empty()) reg.DeleteKey(kHive, parent).IgnoreError();
  }
  reg.Flush().IgnoreError();
  ctx->SetInstallRecordKey("");
  ctx->Log().Write("record", "removed " + key);
}

}  // namespace brimwell
