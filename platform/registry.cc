#include "platform/registry.h"

#include <cstdio>

#include "framework/coding.h"
#include "framework/format.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kInvalidDataType[] = "Invalid data type for '%s'";
constexpr char kInvalidKey[] = "Invalid registry key %s";

struct HiveNames {
  RegistryHive hive;
  std::string_view full;
  std::string_view abbreviation;
};

constexpr HiveNames kHives[] = {
    {RegistryHive::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegistryHive::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegistryHive::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegistryHive::kUsers, "HKEY_USERS", "HKU"},
    {RegistryHive::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {RegistryHive::kDynData, "HKEY_DYN_DATA", "HKDD"},
};

}  // namespace

std::string_view HiveName(RegistryHive hive) {
  for (const HiveNames& h : kHives) {
    if (h.hive == hive) return h.full;
  }
  return "HKEY_LOCAL_MACHINE";
}

std::optional<RegistryHive> ParseHive(std::string_view name) {
  for (const HiveNames& h : kHives) {
    if (WinNamesEqual(name, h.full) || WinNamesEqual(name, h.abbreviation)) return h.hive;
  }
  return std::nullopt;
}

std::pair<RegistryHive, std::string> ParseRegistryPath(std::string_view full_path) {
  std::string_view path = full_path;
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  std::size_t slash = path.find('\\');
  std::string_view first = path.substr(0, slash);
  auto hive = ParseHive(first);
  if (!hive) throw ERegistryException(Format(kInvalidKey, {full_path}));
  std::string rest = slash == std::string_view::npos ? std::string() : std::string(path.substr(slash + 1));
  return {*hive, rest};
}

std::string RegistryTypeName(RegistryValueType type) {
  switch (type) {
    case RegistryValueType::kNone: return "REG_NONE";
    case RegistryValueType::kString: return "REG_SZ";
    case RegistryValueType::kExpandString: return "REG_EXPAND_SZ";
    case RegistryValueType::kBinary: return "REG_BINARY";
    case RegistryValueType::kDword: return "REG_DWORD";
    case RegistryValueType::kMultiString: return "REG_MULTI_SZ";
  }
  char buf[24];
  std::snprintf(buf, sizeof buf, "REG_0x%X", static_cast<unsigned>(type));
  return buf;
}

std::optional<RegistryValueType> ParseRegistryTypeName(std::string_view name) {
  for (RegistryValueType t : {RegistryValueType::kNone, RegistryValueType::kString,
                              RegistryValueType::kExpandString, RegistryValueType::kBinary,
                              RegistryValueType::kDword, RegistryValueType::kMultiString}) {
    if (WinNamesEqual(name, RegistryTypeName(t))) return t;
  }
  return std::nullopt;
}

RegistryValue RegistryValue::String(std::string_view text) {
  return {RegistryValueType::kString, std::string(text)};
}

RegistryValue RegistryValue::Dword(std::uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return {RegistryValueType::kDword, data};
}

RegistryValue RegistryValue::Binary(std::string_view bytes) {
  return {RegistryValueType::kBinary, std::string(bytes)};
}

RegistryValue RegistryValue::MultiString(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) {
    data += s;
    data += '\0';
  }
  data += '\0';
  return {RegistryValueType::kMultiString, data};
}

std::string RegistryValue::AsString(std::string_view name) const {
  if (type != RegistryValueType::kString && type != RegistryValueType::kExpandString) {
    throw ERegistryException(Format(kInvalidDataType, {name}));
  }
  // Data written by other tools may carry the terminating NUL.
  std::string text = data;
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::uint32_t RegistryValue::AsDword(std::string_view name) const {
  if (type != RegistryValueType::kDword || data.size() != 4) {
    throw ERegistryException(Format(kInvalidDataType, {name}));
  }
  return DecodeFixed32(data.data());
}

std::vector<std::string> RegistryValue::AsMultiString(std::string_view name) const {
  if (type != RegistryValueType::kMultiString) throw ERegistryException(Format(kInvalidDataType, {name}));
  // Each string ends with NUL and the list with one more; empty strings in
  // between are kept (the delayed-move list holds them).
  std::string_view rest = data;
  if (!rest.empty() && rest.back() == '\0') rest.remove_suffix(1);
  std::vector<std::string> strings;
  while (!rest.empty()) {
    std::size_t nul = rest.find('\0');
    strings.emplace_back(rest.substr(0, nul));
    if (nul == std::string_view::npos) break;
    rest.remove_prefix(nul + 1);
  }
  return strings;
}

std::optional<std::string> Registry::ReadString(RegistryHive hive, std::string_view key,
                                                std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value) return std::nullopt;
  return value->AsString(name);
}

std::optional<std::uint32_t> Registry::ReadDword(RegistryHive hive, std::string_view key,
                                                 std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value) return std::nullopt;
  return value->AsDword(name);
}

std::optional<std::string> Registry::ReadBinary(RegistryHive hive, std::string_view key,
                                                std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value) return std::nullopt;
  if (value->type != RegistryValueType::kBinary) throw ERegistryException(Format(kInvalidDataType, {name}));
  return value->data;
}

std::optional<std::string> Registry::FindString(RegistryHive hive, std::string_view key,
                                                std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value || (value->type != RegistryValueType::kString && value->type != RegistryValueType::kExpandString)) {
    return std::nullopt;
  }
  return value->AsString(name);
}

std::optional<std::uint32_t> Registry::FindDword(RegistryHive hive, std::string_view key,
                                                 std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value || value->type != RegistryValueType::kDword || value->data.size() != 4) return std::nullopt;
  return value->AsDword(name);
}

std::optional<std::string> Registry::FindBinary(RegistryHive hive, std::string_view key,
                                                std::string_view name) {
  auto value = QueryValue(hive, key, name);
  if (!value || value->type != RegistryValueType::kBinary) return std::nullopt;
  return value->data;
}

WinStatus Registry::WriteString(RegistryHive hive, std::string_view key, std::string_view name,
                                std::string_view text) {
  if (WinStatus s = CreateKey(hive, key); !s) return s;
  return SetValue(hive, key, name, RegistryValue::String(text));
}

WinStatus Registry::WriteDword(RegistryHive hive, std::string_view key, std::string_view name,
                               std::uint32_t value) {
  if (WinStatus s = CreateKey(hive, key); !s) return s;
  return SetValue(hive, key, name, RegistryValue::Dword(value));
}

WinStatus Registry::WriteBinary(RegistryHive hive, std::string_view key, std::string_view name,
                                std::string_view bytes) {
  if (WinStatus s = CreateKey(hive, key); !s) return s;
  return SetValue(hive, key, name, RegistryValue::Binary(bytes));
}

bool Registry::ValueExists(RegistryHive hive, std::string_view key, std::string_view name) {
  return QueryValue(hive, key, name).has_value();
}

RegistryUpdate::~RegistryUpdate() {
  if (!open_) return;
  try {
    registry_.EndUpdate(false);
  } catch (const std::exception&) {
    // Dropping cannot fail in a way that keeps the writes: an update that
    // is not committed is lost with the transaction that held it.
  }
}

void RegistryUpdate::Commit() {
  open_ = false;
  registry_.EndUpdate(true);
}

}  // namespace brimwell
