#include "system/uninstall_record.h"

#include <charconv>

#include "engine/engine_context.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/registry.h"

namespace brimwell {
namespace {

constexpr RegistryHive kRecordHive = RegistryHive::kLocalMachine;

// The count as stored, 0 when it is missing, of another type or no number.
int ReadCount(Registry& registry, const std::string& list_key) {
  std::optional<std::string> text;
  try {
    text = registry.ReadString(kRecordHive, list_key, kRecordCountValue);
  } catch (const ERegistryException&) {
    return 0;  // a value of another type counts as unreadable
  }
  if (!text) return 0;
  int count = 0;
  const char* end = text->data() + text->size();
  auto [ptr, ec] = std::from_chars(text->data(), end, count);
  if (ec != std::errc() || ptr != end || count < 0) return 0;
  return count;
}

}  // namespace

std::string WithTrailingBackslash(std::string_view key) {
  std::string out(key);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

int UninstallRecord::AddRecord(const std::string& list_key, std::string_view item_prefix) {
  Registry& registry = ctx_.GetMachine().GetRegistry();
  int n = ReadCount(registry, list_key);
  const std::string prefix = WithTrailingBackslash(list_key) + std::string(item_prefix);
  do {
    ++n;
  } while (registry.KeyExists(kRecordHive, prefix + std::to_string(n)));
  WriteString(list_key, kRecordCountValue, std::to_string(n));
  return n;
}

void UninstallRecord::WriteString(const std::string& key, std::string_view ident, std::string_view value) {
  if (!ctx_.GetMachine().GetRegistry().WriteString(kRecordHive, key, ident, value)) {
    throw EIRCannotWriteValue(EngineText(&ctx_, kCannotWriteRecordValue, {key, std::string(ident), std::string(value)}));
  }
}

void UninstallRecord::WriteDword(const std::string& key, std::string_view ident, std::uint32_t value) {
  if (!ctx_.GetMachine().GetRegistry().WriteDword(kRecordHive, key, ident, value)) {
    throw EIRCannotWriteValue(
        EngineText(&ctx_, kCannotWriteRecordValue, {key, std::string(ident), std::to_string(value)}));
  }
}

}  // namespace brimwell
