#include "uninstall/prefix_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "engine/uninstall_record.h"
#include "framework/date_time.h"
#include "framework/exception.h"
#include "platform/file_system.h"
#include "platform/machine.h"
#include "platform/platform_errors.h"
#include "platform/profile_strings.h"
#include "platform/registry.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kSnapshotFormat[] = "brimwell-snapshot/1";
constexpr char kChangesFormat[] = "brimwell-snapshot-diff/1";

std::string DateText(TDateTime date) {
  DateTimeParts p = DecodeDateTime(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return text;
}

std::string ValueText(const RegistryValue& value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = RegistryTypeName(value.type) + ":";
  switch (value.type) {
    case RegistryValueType::kString:
    case RegistryValueType::kExpandString:
      return text + value.data;
    case RegistryValueType::kDword:
      return text + std::to_string(value.AsDword(""));
    case RegistryValueType::kMultiString: {
      std::string joined;
      for (const std::string& s : value.AsMultiString("")) joined += (joined.empty() ? "" : "|") + s;
      return text + joined;
    }
    default:
      for (unsigned char c : value.data) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
      }
      return text;
  }
}

class SnapshotTaker {
 public:
  explicit SnapshotTaker(Machine& machine)
      : fs_(machine.GetFileSystem()), registry_(machine.GetRegistry()), profile_(machine.GetProfileStrings()) {}

  void Folder(const std::string& dir) {
    auto found = fs_.FindFiles(JoinWinPath(dir, "*.*"));
    if (!found.ok()) return;
    for (const FindData& entry : *found) {
      const std::string path = JoinWinPath(dir, entry.name);
      if (entry.attributes & kFileAttributeDirectory) {
        Add("folder", path, "", "");
        Folder(path);
        continue;
      }
      Add("file", path, FileDigestOf(fs_, path).value_or("unreadable"), DateText(entry.last_write_time));
      if (WinNamesEqual(ExtractFileExt(entry.name), ".ini")) Ini(path);
    }
  }

  void Ini(const std::string& file) {
    try {
      for (const std::string& section : profile_.SectionNames(file)) {
        for (const std::string& key : profile_.KeyNames(file, section)) {
          Add("ini", file + " [" + section + "] " + key, profile_.GetString(file, section, key, ""), "");
        }
      }
    } catch (const EProfileError&) {
      // Not text: the file's digest stands for it.
    }
  }

  void Key(RegistryHive hive, const std::string& key) {
    const std::string full = std::string(HiveName(hive)) + (key.empty() ? "" : "\\" + key);
    if (!key.empty()) Add("key", full, "", "");
    if (auto values = registry_.Values(hive, key); values.ok()) {
      for (const RegistryValueEntry& v : *values) Add("value", full + "\\" + v.name, ValueText(v.value), "");
    }
    if (auto subkeys = registry_.SubKeys(hive, key); subkeys.ok()) {
      for (const std::string& sub : *subkeys) Key(hive, key.empty() ? sub : key + "\\" + sub);
    }
  }

  PrefixSnapshot Take() {
    Folder("C:\\");
    Key(RegistryHive::kLocalMachine, "");
    Key(RegistryHive::kUsers, "");
    std::sort(snapshot_.entries.begin(), snapshot_.entries.end(), [](const SnapshotEntry& a, const SnapshotEntry& b) {
      if (a.kind != b.kind) return a.kind < b.kind;
      return WinCompareNames(a.name, b.name) < 0;
    });
    return std::move(snapshot_);
  }

 private:
  void Add(std::string kind, std::string name, std::string content, std::string date) {
    snapshot_.entries.push_back(SnapshotEntry{std::move(kind), std::move(name), std::move(content), std::move(date)});
  }

  FileSystem& fs_;
  Registry& registry_;
  ProfileStrings& profile_;
  PrefixSnapshot snapshot_;
};

}  // namespace

PrefixSnapshot TakeSnapshot(Machine& machine) { return SnapshotTaker(machine).Take(); }

std::string SnapshotToJson(const PrefixSnapshot& snapshot) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (const SnapshotEntry& e : snapshot.entries) {
    nlohmann::ordered_json item = {{"kind", e.kind}, {"name", e.name}};
    if (!e.content.empty()) item["content"] = e.content;
    if (!e.date.empty()) item["date"] = e.date;
    entries.push_back(std::move(item));
  }
  nlohmann::ordered_json doc = {{"format", kSnapshotFormat}, {"entries", std::move(entries)}};
  // Bytes that are not UTF-8 (a registry value's text) are replaced rather
  // than refused.
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

PrefixSnapshot SnapshotFromJson(const std::string& text) {
  nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) throw Exception("not a snapshot: the text is no JSON object");
  if (doc.value("format", "") != kSnapshotFormat) {
    throw Exception(std::string("not a snapshot: the format is not ") + kSnapshotFormat);
  }
  const auto entries = doc.find("entries");
  if (entries == doc.end() || !entries->is_array()) throw Exception("not a snapshot: it has no list of entries");
  PrefixSnapshot snapshot;
  for (const nlohmann::json& item : *entries) {
    auto field = [&](const char* name) -> std::string {
      const auto it = item.find(name);
      if (it == item.end()) return {};
      if (!it->is_string()) throw Exception(std::string("not a snapshot: an entry's ") + name + " is no text");
      return it->get<std::string>();
    };
    if (!item.is_object()) throw Exception("not a snapshot: an entry is no object");
    snapshot.entries.push_back(SnapshotEntry{field("kind"), field("name"), field("content"), field("date")});
  }
  return snapshot;
}

std::vector<SnapshotChange> CompareSnapshots(const PrefixSnapshot& before, const PrefixSnapshot& after) {
  auto index = [](const PrefixSnapshot& s) {
    std::map<std::pair<std::string, std::string>, const SnapshotEntry*> map;
    for (const SnapshotEntry& e : s.entries) map[{e.kind, WinUpperCase(e.name)}] = &e;
    return map;
  };
  const auto a = index(before);
  const auto b = index(after);
  std::vector<SnapshotChange> changes;
  for (const auto& [id, entry] : a) {
    auto it = b.find(id);
    if (it == b.end()) {
      changes.push_back({"removed", entry->kind, entry->name, entry->content, ""});
    } else if (it->second->content != entry->content) {
      changes.push_back({"changed", entry->kind, entry->name, entry->content, it->second->content});
    }
  }
  for (const auto& [id, entry] : b) {
    if (a.find(id) == a.end()) changes.push_back({"added", entry->kind, entry->name, "", entry->content});
  }
  std::sort(changes.begin(), changes.end(), [](const SnapshotChange& x, const SnapshotChange& y) {
    if (x.kind != y.kind) return x.kind < y.kind;
    return WinCompareNames(x.name, y.name) < 0;
  });
  return changes;
}

std::string ChangesToText(const std::vector<SnapshotChange>& changes) {
  std::string text;
  for (const SnapshotChange& c : changes) {
    if (c.change == "added") {
      text += "+ " + c.kind + " " + c.name + (c.after.empty() ? "" : " = " + c.after) + "\n";
    } else if (c.change == "removed") {
      text += "- " + c.kind + " " + c.name + (c.before.empty() ? "" : " = " + c.before) + "\n";
    } else {
      text += "~ " + c.kind + " " + c.name + ": " + c.before + " -> " + c.after + "\n";
    }
  }
  return text;
}

std::string ChangesToJson(const std::vector<SnapshotChange>& changes) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SnapshotChange& c : changes) {
    list.push_back({{"change", c.change}, {"kind", c.kind}, {"name", c.name}, {"before", c.before}, {"after", c.after}});
  }
  nlohmann::ordered_json doc = {{"format", kChangesFormat}, {"changes", std::move(list)}};
  return doc.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace brimwell
