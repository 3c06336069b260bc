#include "system/program_manager.h"

#include <sstream>

#include "engine/engine_context.h"
#include "platform/dde.h"
#include "platform/machine.h"
#include "system/system_errors.h"

namespace brimwell {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

// A text joined into a format string keeps its "%" as text.
std::string EscapePercent(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// Owns the client for the context.
struct ProgramManagerHolder {
  std::unique_ptr<TProgramManager> client;
};

}  // namespace

const ClassInfo& TProgramManager::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TProgramManager>("TProgramManager", &TComponent::StaticClassInfo()).Build();
  return info;
}

TProgramManager::TProgramManager(EngineContext& ctx)
    : TComponent(nullptr), ctx_(ctx), conversation_(DdeOf(ctx.GetMachine()).NewConversation()) {}

TProgramManager::~TProgramManager() {
  if (conversation_ && conversation_->Connected()) conversation_->Disconnect();
}

void TProgramManager::Connect() {
  if (connected_) return;
  connected_ = conversation_->Connect(kProgramManagerService, kProgramManagerService);
  if (!connected_) Raise<EAIPMCannotOpen>(&ctx_, kPMCannotOpen);
}

bool TProgramManager::Execute(const std::string& macro) {
  if (macro.size() > kMaxMacroLength) {
    ctx_.Log().Write("progman", "not sent (" + std::to_string(macro.size()) + " characters): " + macro);
    return false;
  }
  return conversation_->Execute(macro);
}

void TProgramManager::SelectGroup(const std::string& name) {
  Connect();
  current_group_.clear();
  items_.clear();
  if (std::optional<std::string> answer = conversation_->Request(name)) {
    items_ = SplitLines(*answer);
    current_group_ = name;
  }
}

void TProgramManager::CreateGroup(const std::string& name) {
  Connect();
  if (name.empty()) return;
  if (!Execute(CreateGroupMacro(name))) {
    throw EAIPMCannotCreateGroup(ctx_.Translate(kPMCannotCreateGroup) + name, name);
  }
  SelectGroup(name);
}

void TProgramManager::GetGroups(std::vector<std::string>& groups) {
  Connect();
  groups.clear();
  if (std::optional<std::string> answer = conversation_->Request(kGroupsItem)) {
    for (std::string& line : SplitLines(*answer)) {
      if (!line.empty()) groups.push_back(std::move(line));
    }
  }
}

int TProgramManager::ItemCount() const { return items_.size() < 2 ? 0 : static_cast<int>(items_.size()) - 1; }

std::string TProgramManager::GetItemField(int index, int field) const {
  if (index < 1 || index >= static_cast<int>(items_.size()) || field < 1) return "";
  const std::string& line = items_[static_cast<std::size_t>(index)];
  // Cut at commas without regard to quotes.
  std::size_t begin = 0;
  for (int n = 1; n < field; ++n) {
    std::size_t comma = line.find(',', begin);
    if (comma == std::string::npos) return "";
    begin = comma + 1;
  }
  std::size_t end = line.find(',', begin);
  std::string text = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  if (text.size() > 1 && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}

int TProgramManager::FindItem(const std::string& name) const {
  for (int i = 1; i <= ItemCount(); ++i) {
    if (GetItemField(i, 1) == name) return i;
  }
  return -1;
}

void TProgramManager::ShowCurrentGroup() {
  if (!Execute(ShowGroupMacro(current_group_))) {
    throw EAIPMCannotOpenGroup(ctx_.Translate(kPMCannotOpenGroup) + current_group_, current_group_);
  }
}

void TProgramManager::ReplaceItem(const std::string& name) {
  Connect();
  if (current_group_.empty()) return;
  ShowCurrentGroup();
  if (!Execute(ReplaceItemMacro(name))) {
    throw EAIPMCannotReplaceItem(EngineText(&ctx_, kPMCannotReplaceItem, {name, current_group_}), current_group_,
                                 name);
  }
  SelectGroup(std::string(current_group_));
}

void TProgramManager::AddItem(const std::string& command_line, const std::string& name, const std::string& icon_path,
                              int icon_index, const std::string& default_dir, const std::string& hot_key) {
  Connect();
  if (current_group_.empty()) return;
  ShowCurrentGroup();
  const std::string macro = AddItemMacro(command_line, name, icon_path, icon_index, default_dir, hot_key);
  if (!Execute(macro)) {
    // The item's name is part of the text that is translated; a "%" in it
    // stays a character instead of becoming a format specifier.
    const std::string format = std::string(kPMCannotAddItemHead) + EscapePercent(name) + kPMCannotAddItemTail;
    throw EAIPMCannotAddItem(EngineText(&ctx_, format, {current_group_, macro}), current_group_, name, macro);
  }
  ctx_.Log().Write("progman", "item " + current_group_ + "\\" + name + " = " + command_line);
  SelectGroup(std::string(current_group_));
}

std::string TProgramManager::CreateGroupMacro(const std::string& group) {
  return "[CreateGroup(\"" + group + "\")]";
}

std::string TProgramManager::ShowGroupMacro(const std::string& group) { return "[ShowGroup(" + group + ",8)]"; }

std::string TProgramManager::ReplaceItemMacro(const std::string& item) {
  return "[ReplaceItem(\"" + item + "\")]";
}

std::string TProgramManager::AddItemMacro(const std::string& command_line, const std::string& name,
                                          const std::string& icon_path, int icon_index,
                                          const std::string& default_dir, const std::string& hot_key) {
  return "[AddItem(" + command_line + "," + name + "," + icon_path + "," + std::to_string(icon_index) + ",,," +
         default_dir + "," + hot_key + ")]";
}

TProgramManager& ProgramManagerOf(EngineContext& ctx) {
  ProgramManagerHolder* holder = ctx.FindExtension<ProgramManagerHolder>();
  if (holder == nullptr) holder = &ctx.AttachExtension(std::make_unique<ProgramManagerHolder>());
  if (!holder->client) holder->client = std::make_unique<TProgramManager>(ctx);
  return *holder->client;
}

}  // namespace brimwell
