#include "platform/program_manager.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "framework/text_case.h"
#include "platform/registry.h"

namespace brimwell {
namespace {

constexpr RegistryHive kHive = RegistryHive::kCurrentUser;
constexpr std::size_t kItemFields = 6;
// Program Manager's limit on group and item names.
constexpr std::size_t kMaxNameLength = 128;

std::string GroupKey(std::string_view name) { return std::string(kProgramGroupsKey) + "\\" + std::string(name); }

bool IsValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == '\\' || static_cast<unsigned char>(c) < 0x20; });
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// An argument wholly enclosed in double quotes loses them.
std::string Unquote(std::string arg) {
  arg = Trim(arg);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"' &&
      arg.find('"', 1) == arg.size() - 1) {
    return arg.substr(1, arg.size() - 2);
  }
  return arg;
}

struct Macro {
  std::string name;
  std::vector<std::string> args;
};

// Splits a command string into its macros; nullopt when it is malformed.
std::optional<std::vector<Macro>> ParseMacros(std::string_view text) {
  std::vector<Macro> macros;
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  for (;;) {
    skip_blanks();
    if (i == text.size()) break;
    if (text[i] != '[') return std::nullopt;
    ++i;
    Macro macro;
    std::size_t open = text.find('(', i);
    std::size_t close_bracket = text.find(']', i);
    if (open == std::string_view::npos || (close_bracket != std::string_view::npos && close_bracket < open)) {
      // A macro without arguments: [Name]
      if (close_bracket == std::string_view::npos) return std::nullopt;
      macro.name = Trim(text.substr(i, close_bracket - i));
      i = close_bracket + 1;
      macros.push_back(std::move(macro));
      continue;
    }
    macro.name = Trim(text.substr(i, open - i));
    i = open + 1;
    std::string arg;
    bool quoted = false;
    bool closed = false;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        quoted = !quoted;
        arg += c;
      } else if (!quoted && c == ',') {
        macro.args.push_back(Unquote(arg));
        arg.clear();
      } else if (!quoted && c == ')') {
        macro.args.push_back(Unquote(arg));
        closed = true;
        ++i;
        break;
      } else {
        arg += c;
      }
    }
    if (!closed) return std::nullopt;
    skip_blanks();
    if (i == text.size() || text[i] != ']') return std::nullopt;
    ++i;
    if (macro.args.size() == 1 && macro.args[0].empty()) macro.args.clear();
    macros.push_back(std::move(macro));
  }
  return macros;
}

std::string Arg(const std::vector<std::string>& args, std::size_t i) {
  return i < args.size() ? args[i] : std::string();
}

}  // namespace

std::vector<std::string> ProgramManager::GroupNames() {
  auto names = registry_.SubKeys(kHive, kProgramGroupsKey);
  return names ? *names : std::vector<std::string>{};
}

std::optional<ProgramGroup> ProgramManager::Group(std::string_view name) {
  if (!IsValidName(name)) return std::nullopt;
  const std::string key = GroupKey(name);
  auto values = registry_.Values(kHive, key);
  if (!values) return std::nullopt;
  ProgramGroup group;
  group.name = std::string(name);
  for (const std::string& stored : GroupNames()) {
    if (SameText(stored, name)) group.name = stored;  // the case it was made with
  }
  for (const RegistryValueEntry& entry : *values) {
    if (entry.value.type != RegistryValueType::kMultiString) continue;
    std::vector<std::string> fields = entry.value.AsMultiString(entry.name);
    fields.resize(kItemFields);
    ProgramItem item;
    item.name = fields[0];
    item.command_line = fields[1];
    item.default_dir = fields[2];
    item.icon_path = fields[3];
    std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), item.icon_index);
    item.hot_key = fields[5];
    group.items.push_back(std::move(item));
  }
  return group;
}

bool ProgramManager::WriteGroup(const ProgramGroup& group) {
  const std::string key = GroupKey(group.name);
  if (registry_.KeyExists(kHive, key) && !registry_.DeleteTree(kHive, key)) return false;
  if (!registry_.CreateKey(kHive, key)) return false;
  for (std::size_t i = 0; i < group.items.size(); ++i) {
    const ProgramItem& item = group.items[i];
    RegistryValue value = RegistryValue::MultiString(
        {item.name, item.command_line, item.default_dir, item.icon_path, std::to_string(item.icon_index),
         item.hot_key});
    if (!registry_.SetValue(kHive, key, "Item" + std::to_string(i + 1), value)) return false;
  }
  return static_cast<bool>(registry_.Flush());
}

bool ProgramManager::Execute(std::string_view command) {
  std::optional<std::vector<Macro>> macros = ParseMacros(command);
  if (!macros) return false;
  for (const Macro& macro : *macros) {
    if (!Run(macro.name, macro.args)) return false;
  }
  return true;
}

bool ProgramManager::Run(std::string_view name, const std::vector<std::string>& args) {
  if (SameText(name, "CreateGroup")) {
    const std::string group = Arg(args, 0);
    if (!IsValidName(group)) return false;
    if (!Group(group) && !WriteGroup(ProgramGroup{group, {}})) return false;
    active_group_ = Group(group)->name;
    replace_at_.reset();
    return true;
  }
  if (SameText(name, "ShowGroup")) {
    std::optional<ProgramGroup> group = Group(Arg(args, 0));
    if (!group) return false;
    if (!SameText(active_group_, group->name)) replace_at_.reset();
    active_group_ = group->name;
    return true;
  }
  if (SameText(name, "DeleteGroup")) {
    std::optional<ProgramGroup> group = Group(Arg(args, 0));
    if (!group || !registry_.DeleteTree(kHive, GroupKey(group->name))) return false;
    if (SameText(active_group_, group->name)) active_group_.clear();
    return static_cast<bool>(registry_.Flush());
  }
  // The item commands work on the active group.
  std::optional<ProgramGroup> group = active_group_.empty() ? std::nullopt : Group(active_group_);
  if (!group) return false;
  if (SameText(name, "AddItem")) {
    ProgramItem item;
    item.command_line = Arg(args, 0);
    if (item.command_line.empty()) return false;
    item.name = Arg(args, 1);
    if (item.name.empty()) {
      // Program Manager names an unnamed item after its program.
      std::string program = item.command_line;
      if (auto slash = program.find_last_of("\\"); slash != std::string::npos) program = program.substr(slash + 1);
      item.name = Unquote(program.substr(0, program.find(' ')));
    }
    if (!IsValidName(item.name)) return false;
    item.icon_path = Arg(args, 2);
    const std::string index = Arg(args, 3);
    if (!index.empty()) {
      auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), item.icon_index);
      if (error != std::errc() || end != index.data() + index.size()) return false;
    }
    item.default_dir = Arg(args, 6);
    item.hot_key = Arg(args, 7);
    std::size_t at = replace_at_ ? std::min(*replace_at_, group->items.size()) : group->items.size();
    group->items.insert(group->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    replace_at_.reset();
    return WriteGroup(*group);
  }
  if (SameText(name, "ReplaceItem") || SameText(name, "DeleteItem")) {
    const std::string item = Arg(args, 0);
    auto it = std::find_if(group->items.begin(), group->items.end(),
                           [&](const ProgramItem& i) { return SameText(i.name, item); });
    if (it == group->items.end()) return false;
    const std::size_t at = static_cast<std::size_t>(it - group->items.begin());
    group->items.erase(it);
    if (SameText(name, "ReplaceItem")) {
      replace_at_ = at;
    } else {
      replace_at_.reset();
    }
    return WriteGroup(*group);
  }
  return false;
}

std::optional<std::string> ProgramManager::Request(std::string_view item) {
  if (SameText(item, "Groups")) {
    std::string out;
    for (const std::string& name : GroupNames()) out += name + "\r\n";
    return out;
  }
  std::optional<ProgramGroup> group = Group(item);
  if (!group) return std::nullopt;
  std::string out = "\"" + group->name + "\"," + std::to_string(group->items.size()) + "\r\n";
  for (const ProgramItem& i : group->items) {
    out += "\"" + i.name + "\",\"" + i.command_line + "\"," + i.default_dir + "," + i.icon_path + ",,," +
           std::to_string(i.icon_index) + "," + i.hot_key + ",0\r\n";
  }
  return out;
}

}  // namespace brimwell
