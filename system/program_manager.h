// TProgramManager: the client that makes Program Manager groups and items
// on shells without shell links (Win32s, Windows NT 3.5x), by sending
// command macros over a DDE conversation with service and topic "PROGMAN".
// One instance serves a whole run (ProgramManagerOf); it keeps one current
// group and that group's item list as Program Manager reported it: line 0
// describes the group, each further line one item as comma-separated
// fields, field 1 being the item's name in double quotes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/component.h"

namespace brimwell {

class DdeConversation;
class EngineContext;
class TStringList;

inline constexpr char kPMCannotCommunicate[] =
    "The TProgramManager object was unable to communicate with Program Manager";
inline constexpr char kPMCannotOpen[] =
    "The TProgramManager object was unable to establish a link with Program Manager";
inline constexpr char kPMCannotOpenGroup[] =
    "The TProgramManager object was unable to open the following program group: ";
inline constexpr char kPMCannotCreateGroup[] =
    "The TProgramManager object was unable to create the following program group: ";
// The item name is joined between these two pieces before translation.
inline constexpr char kPMCannotAddItemHead[] =
    "The TProgramManager object was unable to add the following program item: ";
inline constexpr char kPMCannotAddItemTail[] =
    " to the following group: %s. The arguments passed to  Program Manager were: %s";
inline constexpr char kPMCannotReplaceItem[] =
    "The TProgramManager object was unable to replace the following program item: %s to the following group: %s";

inline constexpr char kProgramManagerService[] = "PROGMAN";
inline constexpr char kGroupsItem[] = "Groups";
// Macros are handed over in a buffer of 256 bytes with its terminating NUL.
inline constexpr std::size_t kMaxMacroLength = 255;

class TProgramManager : public TComponent {
  BRIMWELL_CLASS_INFO()

 public:
  // Without an owner; `ctx` gives the machine, the translator and the log,
  // and must outlive the client.
  explicit TProgramManager(EngineContext& ctx);
  // Closes the conversation when it is open.
  ~TProgramManager() override;

  // Opens the conversation once. Throws EAIPMCannotOpen when Program
  // Manager does not answer.
  virtual void Connect();
  // Makes `name` current and loads its items; without an answer no group
  // is current.
  void SelectGroup(const std::string& name);
  // Creates or activates the group, then selects it. Nothing for an empty
  // name. Throws EAIPMCannotCreateGroup.
  void CreateGroup(const std::string& name);
  // Program Manager's group names, one per line.
  void GetGroups(std::vector<std::string>& groups);
  int ItemCount() const;
  // Field `field` (1-based) of item `index` (1-based), one pair of quotes
  // stripped; empty outside the list.
  std::string GetItemField(int index, int field) const;
  // 1-based index of the first item named exactly `name`, or -1.
  int FindItem(const std::string& name) const;
  // Removes the item so that the next AddItem takes its place. Nothing
  // without a current group. Throws EAIPMCannotOpenGroup,
  // EAIPMCannotReplaceItem.
  void ReplaceItem(const std::string& name);
  // Adds an item to the current group; nothing without one. No argument is
  // quoted here. Throws EAIPMCannotOpenGroup, EAIPMCannotAddItem.
  void AddItem(const std::string& command_line, const std::string& name, const std::string& icon_path,
               int icon_index, const std::string& default_dir, const std::string& hot_key);

  const std::string& CurrentGroup() const { return current_group_; }
  bool IsConnected() const { return connected_; }
  const std::vector<std::string>& ItemLines() const { return items_; }

  // The macros, as sent.
  static std::string CreateGroupMacro(const std::string& group);
  static std::string ShowGroupMacro(const std::string& group);
  static std::string ReplaceItemMacro(const std::string& item);
  static std::string AddItemMacro(const std::string& command_line, const std::string& name,
                                  const std::string& icon_path, int icon_index, const std::string& default_dir,
                                  const std::string& hot_key);

 private:
  // An execute transaction; false when Program Manager refused it or the
  // macro does not fit the transaction's buffer (nothing is sent then).
  bool Execute(const std::string& macro);
  void ShowCurrentGroup();

  EngineContext& ctx_;
  std::unique_ptr<DdeConversation> conversation_;
  bool connected_ = false;
  std::string current_group_;
  std::vector<std::string> items_;
};

// The run's one Program Manager client, made on first use.
TProgramManager& ProgramManagerOf(EngineContext& ctx);

}  // namespace brimwell
