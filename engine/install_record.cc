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
#include <optional>

#include "engine/engine_context.h"
#include "engine/install.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"

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

}  // namespace

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
