#include "uninstall/product_record.h"

#include <algorithm>
#include <charconv>

#include "engine/install_container.h"
#include "engine/uninstall_record.h"
#include "framework/text_case.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr RegistryHive kHive = RegistryHive::kLocalMachine;
constexpr char kRegistryKeysList[] = "RegistryKeys";
constexpr char kRegistryKeyPrefix[] = "RegistryKey";
constexpr char kIniFilesList[] = "INIFiles";
constexpr char kIniFilePrefix[] = "INIFile";

// The n of "<prefix><n>" (prefix compared without case), or nullopt.
std::optional<int> NumberAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !SameText(name.substr(0, prefix.size()), prefix)) return std::nullopt;
  std::string_view digits = name.substr(prefix.size());
  int n = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (error != std::errc() || end != digits.data() + digits.size() || n <= 0 || digits[0] == '0') return std::nullopt;
  return n;
}

std::optional<int> ParseCount(const std::string& text) {
  int n = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < 0) return std::nullopt;
  return n;
}

class RecordReader {
 public:
  RecordReader(Registry& registry, ProductRecord& record) : registry_(registry), record_(record) {}

  std::string Sub(std::string_view name) const { return record_.key + "\\" + std::string(name); }

  // Checks the list's "Entries" against the highest number found.
  void CheckCount(const std::string& list_key, int highest, std::string_view what) {
    std::optional<RegistryValue> value = registry_.QueryValue(kHive, list_key, kEntriesValue);
    if (!value) {
      Problem("the " + std::string(what) + " list " + list_key + " has no count");
      return;
    }
    std::optional<int> count;
    if (value->type == RegistryValueType::kString) count = ParseCount(value->data);
    if (!count) {
      Problem("the count of the " + std::string(what) + " list " + list_key + " is not a number");
    } else if (*count != highest) {
      Problem("the count of the " + std::string(what) + " list " + list_key + " says " + std::to_string(*count) +
              " but " + std::to_string(highest) + " entries were found");
    }
  }

  // The "File<n>" string values of a list key, by n.
  std::vector<std::pair<int, std::string>> FileValues(const std::string& list_key, std::string_view what) {
    std::vector<std::pair<int, std::string>> found;
    auto values = registry_.Values(kHive, list_key);
    if (!values.ok()) return found;
    for (const RegistryValueEntry& entry : *values) {
      std::optional<int> n = NumberAfter(entry.name, kFileValuePrefix);
      if (!n) continue;
      if (entry.value.type != RegistryValueType::kString || entry.value.data.empty()) {
        Problem("the value " + entry.name + " of " + list_key + " holds no path");
        continue;
      }
      found.emplace_back(*n, entry.value.data);
    }
    std::sort(found.begin(), found.end());
    CheckCount(list_key, found.empty() ? 0 : found.back().first, what);
    return found;
  }

  // The numbered subkeys "<prefix><n>" of a list, by n.
  std::vector<std::pair<int, std::string>> NumberedKeys(const std::string& list_key, std::string_view prefix,
                                                        std::string_view what) {
    std::vector<std::pair<int, std::string>> found;
    auto names = registry_.SubKeys(kHive, list_key);
    if (!names.ok()) return found;
    for (const std::string& name : *names) {
      if (std::optional<int> n = NumberAfter(name, prefix)) found.emplace_back(*n, list_key + "\\" + name);
    }
    std::sort(found.begin(), found.end());
    CheckCount(list_key, found.empty() ? 0 : found.back().first, what);
    return found;
  }

  void Problem(std::string text) { record_.problems.push_back(std::move(text)); }

  void ReadFiles() {
    auto lists = registry_.SubKeys(kHive, record_.key);
    if (!lists.ok()) return;
    // "Files" first, then "Files1", "Files2", ... as they were tried.
    std::vector<std::pair<int, std::string>> names;
    for (const std::string& name : *lists) {
      if (SameText(name, kInstalledFilesList)) {
        names.emplace_back(0, name);
      } else if (std::optional<int> n = NumberAfter(name, kInstalledFilesList)) {
        names.emplace_back(*n, name);
      }
    }
    std::sort(names.begin(), names.end());
    for (const auto& [unused, name] : names) {
      for (auto& [n, path] : FileValues(Sub(name), "installed-files")) {
        record_.files.push_back(RecordedFile{name, n, path});
      }
    }
  }

  void ReadServers() {
    if (!registry_.KeyExists(kHive, Sub(kActiveXList))) return;
    for (auto& [n, text] : FileValues(Sub(kActiveXList), "ActiveX")) {
      const std::size_t semicolon = text.rfind(';');
      const std::string kind = semicolon == std::string::npos ? "" : text.substr(semicolon + 1);
      if (kind != "0" && kind != "1") {
        Problem("the ActiveX entry File" + std::to_string(n) + " does not say whether it is a program or a library");
        continue;
      }
      record_.servers.push_back(RecordedServer{n, text.substr(0, semicolon), kind == "1"});
    }
  }

  void ReadRegistryKeys() {
    if (!registry_.KeyExists(kHive, Sub(kRegistryKeysList))) return;
    for (auto& [n, key] : NumberedKeys(Sub(kRegistryKeysList), kRegistryKeyPrefix, "registry")) {
      std::optional<std::string> written = registry_.FindString(kHive, key, "Key");
      std::optional<std::uint32_t> root = registry_.FindDword(kHive, key, "Root");
      std::optional<RegistryHive> hive = root ? HiveOfRootOrdinal(*root) : std::nullopt;
      if (!written || written->empty() || !hive) {
        Problem("the registry record " + key + " names no key or no valid root");
        continue;
      }
      RecordedRegistryKey entry{n, *hive, *written, {}};
      if (auto values = registry_.Values(kHive, key + "\\Entries"); values.ok()) {
        for (const RegistryValueEntry& v : *values) {
          std::string text = v.value.type == RegistryValueType::kString ? v.value.data : std::string();
          entry.values.emplace_back(v.name, std::move(text));
        }
      }
      record_.registry_keys.push_back(std::move(entry));
    }
  }

  void ReadIniFiles() {
    if (!registry_.KeyExists(kHive, Sub(kIniFilesList))) return;
    for (auto& [n, key] : NumberedKeys(Sub(kIniFilesList), kIniFilePrefix, "INI file")) {
      std::optional<std::string> path = registry_.FindString(kHive, key, "FilePath");
      if (!path || path->empty()) {
        Problem("the INI record " + key + " names no file");
        continue;
      }
      RecordedIniFile entry{n, *path, {}};
      if (auto sections = registry_.SubKeys(kHive, key + "\\Entries"); sections.ok()) {
        for (const std::string& section : *sections) {
          auto values = registry_.Values(kHive, key + "\\Entries\\" + section);
          if (!values.ok()) continue;
          for (const RegistryValueEntry& v : *values) {
            std::string text = v.value.type == RegistryValueType::kString ? v.value.data : std::string();
            entry.entries.push_back(RecordedIniEntry{section, v.name, std::move(text)});
          }
        }
      }
      record_.ini_files.push_back(std::move(entry));
    }
  }

  void ReadDigests() {
    auto values = registry_.Values(kHive, Sub(kFileDigestsList));
    if (!values.ok()) return;
    for (const RegistryValueEntry& v : *values) {
      if (v.value.type == RegistryValueType::kString) record_.digests.emplace_back(v.name, v.value.data);
    }
  }

 private:
  Registry& registry_;
  ProductRecord& record_;
};

}  // namespace

std::optional<RegistryHive> HiveOfRootOrdinal(std::uint32_t ordinal) {
  switch (ordinal) {
    case 0:
      return RegistryHive::kClassesRoot;
    case 1:
      return RegistryHive::kCurrentConfig;
    case 2:
      return RegistryHive::kCurrentUser;
    case 3:
      return RegistryHive::kDynData;
    case 4:
      return RegistryHive::kLocalMachine;
    case 5:
      return RegistryHive::kUsers;
  }
  return std::nullopt;
}

std::string ProductRecord::UninstallProgram() const {
  const std::string suffix = " " + product;
  if (uninstall_string.size() > suffix.size() && uninstall_string.ends_with(suffix)) {
    return uninstall_string.substr(0, uninstall_string.size() - suffix.size());
  }
  return uninstall_string;
}

std::optional<std::string> ProductRecord::DigestOf(std::string_view path) const {
  for (const auto& [name, digest] : digests) {
    if (SameText(name, path)) return digest;
  }
  return std::nullopt;
}

ProductRecord ReadProductRecord(Registry& registry, std::string_view product) {
  ProductRecord record;
  record.product = std::string(product);
  record.key = kUninstallKeyPrefix + record.product;
  // A product name that holds a backslash would name another product's
  // key or a key below one.
  if (product.empty() || product.find('\\') != std::string_view::npos || !registry.KeyExists(kHive, record.key)) {
    return record;
  }
  record.exists = true;
  record.display_name = registry.FindString(kHive, record.key, "DisplayName").value_or("");
  record.display_version = registry.FindString(kHive, record.key, kDisplayVersionValue).value_or("");
  record.uninstall_string = registry.FindString(kHive, record.key, "UninstallString").value_or("");
  RecordReader reader(registry, record);
  reader.ReadFiles();
  reader.ReadServers();
  reader.ReadRegistryKeys();
  reader.ReadIniFiles();
  reader.ReadDigests();
  return record;
}

std::vector<std::string> RecordedProducts(Registry& registry) {
  std::string key = kUninstallKeyPrefix;
  key.pop_back();
  auto names = registry.SubKeys(kHive, key);
  if (!names.ok()) return {};
  return *names;
}

std::vector<InstalledProduct> ListInstalledProducts(Machine& machine) {
  std::vector<InstalledProduct> products;
  FileSystem& fs = machine.GetFileSystem();
  for (const std::string& name : RecordedProducts(machine.GetRegistry())) {
    ProductRecord record = ReadProductRecord(machine.GetRegistry(), name);
    if (!record.exists) continue;
    InstalledProduct product{name, record.display_version, "", 0, 0};
    std::vector<std::string> paths;
    for (const RecordedFile& f : record.files) paths.push_back(f.path);
    for (const RecordedServer& s : record.servers) paths.push_back(s.path);
    const std::string program = record.UninstallProgram();
    if (!program.empty()) {
      product.location = ExtractFileDir(program);
    } else if (!paths.empty()) {
      product.location = ExtractFileDir(paths.front());
    }
    if (!program.empty()) paths.push_back(program);
    product.files = paths.size();
    for (const std::string& path : paths) {
      if (!IsWinFullPath(path)) continue;
      if (auto size = fs.FileSize(path); size.ok()) product.size += *size;
    }
    products.push_back(std::move(product));
  }
  return products;
}

}  // namespace brimwell
