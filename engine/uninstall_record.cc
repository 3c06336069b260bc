#include "engine/uninstall_record.h"

#include <charconv>
#include <memory>

#include "engine/engine_context.h"
#include "engine/install_container.h"
#include "framework/sha256.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"

namespace brimwell {
namespace {

constexpr RegistryHive kHive = RegistryHive::kLocalMachine;

}  // namespace

std::optional<std::string> FileDigestOf(FileSystem& fs, std::string_view path) {
  auto file = fs.Open(path, FileAccess::kRead, kShareAll, FileDisposition::kOpenExisting);
  if (!file.ok()) return std::nullopt;
  Sha256 hash;
  std::uint64_t size = 0;
  constexpr std::size_t kBufferSize = 1 << 16;
  auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  for (;;) {
    IoResult got = (*file)->Read(buffer.get(), kBufferSize);
    if (!got.ok()) return std::nullopt;
    if (got.bytes == 0) break;
    hash.Update(buffer.get(), got.bytes);
    size += got.bytes;
  }
  return std::to_string(size) + ";" + hash.FinishHex();
}

std::string UninstallKeyOf(const EngineContext& ctx) {
  if (ctx.DriverView() == nullptr) return {};
  return kUninstallKeyPrefix + ctx.DriverView()->DriverProductName();
}

UninstallRecord::UninstallRecord(const EngineContext& ctx, std::string key) : ctx_(ctx), key_(std::move(key)) {}

std::string UninstallRecord::SubKey(std::string_view sub) const {
  std::string key = key_;
  if (key.empty() || key.back() != '\\') key += '\\';
  return key + std::string(sub);
}

std::optional<int> UninstallRecord::ReadCount(std::string_view list_key) const {
  std::optional<RegistryValue> value = ctx_.GetMachine().GetRegistry().QueryValue(kHive, list_key, kEntriesValue);
  if (!value) return 0;
  if (value->type != RegistryValueType::kString && value->type != RegistryValueType::kExpandString) {
    return std::nullopt;  // a value of another type is no count
  }
  const std::string* text = &value->data;
  int n = 0;
  auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), n);
  if (text->empty() || error != std::errc() || end != text->data() + text->size() || n < 0) return std::nullopt;
  return n;
}

void UninstallRecord::WriteString(std::string_view key, std::string_view name, std::string_view data) const {
  bool ok = false;
  try {
    ok = ctx_.GetMachine().GetRegistry().WriteString(kHive, key, name, data).ok();
  } catch (const ERegistryException&) {
    ok = false;  // an unusable key name is a failed write like any other
  }
  if (!ok) {
    throw EIRCannotWriteValue(
        EngineText(&ctx_, kCannotWriteUninstallValue, {std::string(key), std::string(name), std::string(data)}));
  }
}

void UninstallRecord::WriteDword(std::string_view key, std::string_view name, std::uint32_t value) const {
  bool ok = false;
  try {
    ok = ctx_.GetMachine().GetRegistry().WriteDword(kHive, key, name, value).ok();
  } catch (const ERegistryException&) {
    ok = false;  // an unusable key name is a failed write like any other
  }
  if (!ok) {
    throw EIRCannotWriteValue(
        EngineText(&ctx_, kCannotWriteUninstallValue, {std::string(key), std::string(name), std::to_string(value)}));
  }
}

std::string UninstallRecord::AppendKey(std::string_view list, std::string_view item_prefix) const {
  const std::string list_key = SubKey(list);
  const std::string prefix = list_key + "\\" + std::string(item_prefix);
  Registry& registry = ctx_.GetMachine().GetRegistry();
  int n = ReadCount(list_key).value_or(0);
  do {
    ++n;
  } while (registry.KeyExists(kHive, prefix + std::to_string(n)));
  WriteString(list_key, kEntriesValue, std::to_string(n));
  return prefix + std::to_string(n);
}

std::string UninstallRecord::Append(std::string_view list, std::string_view data) const {
  const std::string list_key = SubKey(list);
  std::optional<int> count = ReadCount(list_key);
  const std::string name = kFileValuePrefix + std::to_string(count.value_or(0) + 1);
  if (!count) {
    // Appending after an unreadable count could overwrite an entry.
    throw EIRCannotWriteValue(EngineText(&ctx_, kCannotWriteUninstallValue, {list_key, name, std::string(data)}));
  }
  WriteString(list_key, name, data);
  WriteString(list_key, kEntriesValue, std::to_string(*count + 1));
  return name;
}

std::string UninstallRecord::AppendInstalledFile(std::string_view path) const {
  for (int attempt = 0;; ++attempt) {
    std::string list = kInstalledFilesList;
    if (attempt > 0) list += std::to_string(attempt);
    try {
      return list + "\\" + Append(list, path);
    } catch (const EIRCannotWriteValue&) {
      if (attempt + 1 >= kInstalledFilesListAttempts) throw;  // the last error
    }
  }
}

}  // namespace brimwell
