// The machine's Program Manager: program groups holding program items,
// kept in the registry of the prefix, changed by the command macros that
// clients send over DDE and listed in the text format Program Manager
// answers requests with.
//
// Registry layout (doc/prefix.md): HKEY_CURRENT_USER\Program Groups\<group>
// per group, holding one REG_MULTI_SZ value per item, "Item1", "Item2", ...
// in the group's order, each with six strings: name, command line, default
// directory, icon path, icon index, hot key.
//
// Macros understood (several may follow each other in one command string;
// arguments are separated by commas outside double quotes, and an argument
// wholly enclosed in double quotes loses them):
//   [CreateGroup(name)]             makes the group, or activates an existing one
//   [ShowGroup(name,command)]       activates an existing group
//   [AddItem(command line,name,icon path,icon index,x,y,default dir,hot key)]
//                                   adds to the active group (at the place of
//                                   the item last removed by ReplaceItem)
//   [ReplaceItem(name)]             removes the item from the active group,
//                                   remembering its place
//   [DeleteItem(name)]              removes the item from the active group
//   [DeleteGroup(name)]             removes the group
// A macro that names no active group, an unknown group, a missing item or an
// unknown command fails, and so do the commands after it.
//
// Requests: "Groups" answers the group names, one per line; a group's name
// answers the group: line 0 "<name>",<item count>, then one line per item
// "<name>","<command line>",<default dir>,<icon path>,<x>,<y>,<icon index>,<hot key>,0.
// Lines end in CR LF. An unknown group has no answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class Registry;

inline constexpr char kProgramGroupsKey[] = "Program Groups";

struct ProgramItem {
  std::string name;
  std::string command_line;
  std::string default_dir;
  std::string icon_path;
  int icon_index = 0;
  std::string hot_key;
};

struct ProgramGroup {
  std::string name;
  std::vector<ProgramItem> items;
};

class ProgramManager {
 public:
  // `registry` must outlive this object.
  explicit ProgramManager(Registry& registry) : registry_(registry) {}

  // The groups, in name order without case.
  std::vector<std::string> GroupNames();
  // The group of that name (without case), or nullopt.
  std::optional<ProgramGroup> Group(std::string_view name);

  // Runs the macros of `command`; false when one failed (those before it
  // stay done).
  bool Execute(std::string_view command);
  // The answer to a request for `item`, or nullopt.
  std::optional<std::string> Request(std::string_view item);

 private:
  bool Run(std::string_view name, const std::vector<std::string>& args);
  bool WriteGroup(const ProgramGroup& group);

  Registry& registry_;
  std::string active_group_;
  std::optional<std::size_t> replace_at_;  // place of the item ReplaceItem removed
};

}  // namespace brimwell
