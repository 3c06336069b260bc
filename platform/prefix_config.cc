#include "platform/prefix_config.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "framework/format.h"
#include "host/host_env.h"
#include "platform/ini_document.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kBadConfigValue[] = "The prefix configuration %s has a bad value for %s: %s";
constexpr char kConfigUnreadable[] = "The prefix configuration %s cannot be read";
constexpr char kConfigUnwritable[] = "The prefix configuration %s cannot be written: %s";

std::optional<std::int64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Hex4(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", value & 0xFFFF);
  return buf;
}

}  // namespace

PrefixConfig PrefixConfig::Load(const std::filesystem::path& prefix) {
  PrefixConfig config;
  std::filesystem::path file = prefix / kPrefixConfigFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (std::filesystem::exists(file)) throw EPrefixError(Format(kConfigUnreadable, {file.string()}));
    return config;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::optional<IniDocument> doc = IniDocument::Parse(buffer.str());
  if (!doc) throw EPrefixError(Format(kConfigUnreadable, {file.string()}));

  auto bad = [&file](const std::string& what, const std::string& value) {
    return EPrefixError(Format(kBadConfigValue, {file.string(), what, value}));
  };
  if (auto v = doc->Get("Windows", "Version")) {
    auto family = ParseWindowsFamily(*v);
    if (!family) throw bad("Version", *v);
    config.windows = *family;
  }
  if (auto v = doc->Get("Windows", "UserDefaultLanguage")) {
    auto n = ParseNumber(*v);
    if (!n || *n < 0 || *n > 0xFFFF) throw bad("UserDefaultLanguage", *v);
    config.user_default_lang_id = static_cast<std::uint16_t>(*n);
    config.user_default_lang_stated = true;
  }
  if (auto v = doc->Get("Windows", "WindowsDirectory")) {
    if (!IsWinFullPath(*v)) throw bad("WindowsDirectory", *v);
    config.windows_directory = ExcludeTrailingBackslash(*v);
  }
  if (auto v = doc->Get("Windows", "TempDirectory")) {
    if (!IsWinFullPath(*v)) throw bad("TempDirectory", *v);
    config.temp_directory = ExcludeTrailingBackslash(*v);
  }
  if (doc->HasSection("Removable")) {
    config.removable.clear();
    for (const std::string& key : doc->KeyNames("Removable")) {
      std::string value = doc->Get("Removable", key).value_or("");
      auto n = ParseNumber(value);
      if (key.size() != 1 || !WinDriveLetter(key + ":") || !n || *n <= 0) {
        throw bad("Removable " + key, value);
      }
      config.removable[*WinDriveLetter(key + ":")] = *n;
    }
  }
  for (const std::string& key : doc->KeyNames("FreeBytes")) {
    std::string value = doc->Get("FreeBytes", key).value_or("");
    auto n = ParseNumber(value);
    if (key.size() != 1 || !WinDriveLetter(key + ":") || !n) throw bad("FreeBytes " + key, value);
    config.free_bytes[*WinDriveLetter(key + ":")] = *n;
  }
  return config;
}

void PrefixConfig::Save(const std::filesystem::path& prefix) const {
  std::filesystem::path file = prefix / kPrefixConfigFile;
  IniDocument doc;
  {
    std::ifstream in(file, std::ios::binary);
    if (in) {
      std::stringstream buffer;
      buffer << in.rdbuf();
      if (auto parsed = IniDocument::Parse(buffer.str())) doc = std::move(*parsed);
    }
  }
  doc.Set("Windows", "Version", WindowsFamilyName(windows));
  if (user_default_lang_stated) {
    doc.Set("Windows", "UserDefaultLanguage", Hex4(user_default_lang_id));
  } else {
    (void)doc.DeleteKey("Windows", "UserDefaultLanguage");
  }
  doc.Set("Windows", "WindowsDirectory", windows_directory);
  doc.Set("Windows", "TempDirectory", temp_directory);
  doc.DeleteSection("Removable");
  for (const auto& [letter, capacity] : removable) {
    doc.Set("Removable", std::string(1, letter), std::to_string(capacity));
  }
  doc.DeleteSection("FreeBytes");
  for (const auto& [letter, bytes] : free_bytes) {
    doc.Set("FreeBytes", std::string(1, letter), std::to_string(bytes));
  }
  // Written beside and renamed over, so that a reader in another process
  // never sees half a file.
  if (std::error_code e = host::Env::Default().WriteFileAtomically(file.string(), doc.Serialize())) {
    throw EPrefixError(Format(kConfigUnwritable, {file.string(), e.message()}));
  }
}

}  // namespace brimwell
