#include "framework/component.h"

#include <algorithm>

#include "framework/exception.h"
#include "framework/format.h"
#include "framework/text_case.h"

namespace brimwell {

namespace {

constexpr const char* kInvalidName = "'%s' is not a valid component name";
constexpr const char* kDuplicateName = "A component named %s already exists";
constexpr const char* kIndexOutOfRange = "Component index out of range (%d)";

// Removes one `item` from `list`, looking from the end: components go last
// created first, so the one looked for is usually the last, and freeing a
// whole tree stays linear. False when `item` is not there.
bool EraseOne(std::vector<TComponent*>& list, const TComponent* item) {
  for (auto it = list.end(); it != list.begin();) {
    --it;
    if (*it == item) {
      list.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace

const ClassInfo& TComponent::StaticClassInfo() {
  // Name is not a published property here: the project file keeps it beside
  // the class, and Assign must not copy it.
  static const ClassInfo info = ClassBuilder<TComponent>("TComponent", nullptr).Build();
  return info;
}

bool IsValidIdent(std::string_view name) {
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (name.empty() || !alpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return alpha(c) || digit(c); });
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  SetState(ComponentState::kDestroying, true);
  // Tell everyone who asked; each forgets us as we forget them.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    EraseOne(other->free_notifies_, this);
    other->Notification(this, Operation::kRemove);
  }
  // Free owned components, last created first, as the owner's destruction
  // promises. Each leaves the list in its own destructor.
  while (!components_.empty()) delete components_.back();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw EComponentError(Format(kIndexOutOfRange, {index}));
  }
  return components_[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  auto it = names_.find(AsciiUpperCase(name));
  return it == names_.end() ? nullptr : it->second;
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto it = std::find(owner_->components_.begin(), owner_->components_.end(), this);
  return static_cast<int>(it - owner_->components_.begin());
}

void TComponent::ValidateName(const std::string& name) const {
  if (!name.empty() && !IsValidIdent(name)) throw EComponentError(Format(kInvalidName, {name}));
  if (owner_ != nullptr && !name.empty()) {
    TComponent* existing = owner_->FindComponent(name);
    if (existing != nullptr && existing != this) throw EComponentError(Format(kDuplicateName, {name}));
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  ValidateName(name);
  if (owner_ != nullptr) {
    if (!name_.empty()) owner_->names_.erase(AsciiUpperCase(name_));
    if (!name.empty()) owner_->names_[AsciiUpperCase(name)] = this;
  }
  name_ = name;
}

void TComponent::SetState(ComponentState s, bool on) {
  if (on) {
    state_ |= static_cast<std::uint32_t>(s);
  } else {
    state_ &= ~static_cast<std::uint32_t>(s);
  }
  for (TComponent* c : components_) c->SetState(s, on);
}

void TComponent::Loaded() { state_ &= ~static_cast<std::uint32_t>(ComponentState::kLoading); }

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
    other->free_notifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  // A link is kept on both sides, so the shorter list tells whether there
  // is one: a component many others refer to (a shared path specifier) is
  // not searched in full for a link its destroyed partner already undid.
  if (free_notifies_.size() <= other->free_notifies_.size()) {
    if (EraseOne(free_notifies_, other)) EraseOne(other->free_notifies_, this);
  } else if (EraseOne(other->free_notifies_, this)) {
    EraseOne(free_notifies_, other);
  }
}

void TComponent::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::kRemove && component != nullptr) RemoveFreeNotification(component);
  for (TComponent* c : components_) {
    if (c != component) c->Notification(component, operation);
  }
}

void TComponent::InsertComponent(TComponent* component) {
  component->owner_ = this;
  // New components share the owner's loading and designing state.
  component->state_ |= state_ & (static_cast<std::uint32_t>(ComponentState::kLoading) |
                                 static_cast<std::uint32_t>(ComponentState::kDesigning));
  components_.push_back(component);
  if (!component->name_.empty()) names_[AsciiUpperCase(component->name_)] = component;
}

void TComponent::RemoveComponent(TComponent* component) {
  EraseOne(components_, component);
  if (!component->name_.empty()) {
    auto it = names_.find(AsciiUpperCase(component->name_));
    if (it != names_.end() && it->second == component) names_.erase(it);
  }
  component->owner_ = nullptr;
  // While this owner frees all it owns, the others go too: a component that
  // refers to another asked to be told (FreeNotification) and is told in the
  // destructor. Telling every component of every removal would make freeing
  // a large project quadratic.
  if (!Destroying()) Notification(component, Operation::kRemove);
}

}  // namespace brimwell
