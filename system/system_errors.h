// The exceptions of the system-changes components: per-component errors of
// the registry and INI components and their entry collections, of link
// groups and links, and the Program Manager client's family. Each message
// text lives next to the code that raises it.
#pragma once

#include <string>

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(IEInstallRegistry, IException);
BRIMWELL_EXCEPTION(IERegistryEntry, IException);
BRIMWELL_EXCEPTION(IERegistryEntries, IException);
BRIMWELL_EXCEPTION(IEInstallINIFile, IException);
BRIMWELL_EXCEPTION(IEINIEntry, IException);
BRIMWELL_EXCEPTION(IEINIEntries, IException);

// Per-component errors of link groups and links.
BRIMWELL_EXCEPTION(IEShellLinkGroup, IException);
BRIMWELL_EXCEPTION(IEInstallShellLink, IException);

// Program Manager could not be talked to; the base of the family.
BRIMWELL_EXCEPTION(EAIPMError, EAI);
BRIMWELL_EXCEPTION(EAIPMCannotOpen, EAIPMError);

// A failed Program Manager step on a group: carries the group's name.
class EAIPMGroupError : public EAIPMError {
 public:
  EAIPMGroupError(std::string message, std::string group)
      : EAIPMError(std::move(message)), group_name_(std::move(group)) {}
  const std::string& GroupName() const { return group_name_; }

 private:
  std::string group_name_;
};
BRIMWELL_EXCEPTION(EAIPMCannotOpenGroup, EAIPMGroupError);
BRIMWELL_EXCEPTION(EAIPMCannotCreateGroup, EAIPMGroupError);

// A failed step on an item: the group, the item and (AddItem) the macro sent.
class EAIPMItemError : public EAIPMGroupError {
 public:
  EAIPMItemError(std::string message, std::string group, std::string item, std::string macro = {})
      : EAIPMGroupError(std::move(message), std::move(group)), item_name_(std::move(item)), macro_(std::move(macro)) {}
  const std::string& ItemName() const { return item_name_; }
  const std::string& Macro() const { return macro_; }

 private:
  std::string item_name_;
  std::string macro_;
};
BRIMWELL_EXCEPTION(EAIPMCannotAddItem, EAIPMItemError);
BRIMWELL_EXCEPTION(EAIPMCannotReplaceItem, EAIPMItemError);

}  // namespace brimwell
