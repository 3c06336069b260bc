// TComponent: the base of everything placed in a project's component tree.
// A component has a Name (a valid identifier, unique without case among its
// owner's components) and an owner that frees it; it carries the state flags
// that change its behaviour while a project is being loaded, in the designer
// or while it is being destroyed; and it can ask to be told when another
// component goes away, so references never dangle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/persistent.h"

namespace brimwell {

enum class ComponentState : std::uint32_t {
  kLoading = 1u << 0,
  kDesigning = 1u << 1,
  kDestroying = 1u << 2,
};

enum class Operation { kInsert, kRemove };

class TComponent : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  // Creates a component owned by `owner` (nullptr for a root). The owner
  // frees its components, last created first, when it is freed; freeing a
  // component early (delete) removes it from its owner. Make owned
  // components with Create<T>(owner) so no call site holds an owning raw
  // pointer.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  const std::string& Name() const { return name_; }
  // Throws EComponentError "'%s' is not a valid component name" or
  // "A component named %s already exists".
  void SetName(const std::string& name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  // The owned component of that name (without case), or nullptr.
  TComponent* FindComponent(std::string_view name) const;
  int ComponentIndex() const;

  bool HasState(ComponentState s) const { return (state_ & static_cast<std::uint32_t>(s)) != 0; }
  bool Loading() const { return HasState(ComponentState::kLoading); }
  bool Designing() const { return HasState(ComponentState::kDesigning); }
  bool Destroying() const { return HasState(ComponentState::kDestroying); }
  // Sets or clears a state flag on this component and every owned one.
  void SetState(ComponentState s, bool on);

  // Called once after a project has set every property of every component;
  // clears the loading flag. Overrides call the base first.
  virtual void Loaded();

  // Asks to receive Notification(other, kRemove) when `other` is freed. Both
  // sides forget each other when either goes away.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  // Whether the project writer stores this component; components that
  // constructors create on their own return false.
  virtual bool StoredInProject() const { return true; }

 protected:
  // A component was inserted into or removed from the owner, or a component
  // this one asked about is being freed. Overrides clear their references to
  // `component` on kRemove, then call the base, which passes the notification
  // to the owned components.
  virtual void Notification(TComponent* component, Operation operation);

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void ValidateName(const std::string& name) const;

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;    // owned; freed last first
  // The owned components with a name, by name upper-cased, so that a
  // project of many thousand components finds each one at once.
  std::unordered_map<std::string, TComponent*> names_;
  std::vector<TComponent*> free_notifies_;  // not owned
  std::uint32_t state_ = 0;
};

// Creates a component of class T owned by `owner`; the owner frees it.
template <class T, class... Args>
T* Create(TComponent* owner, Args&&... args) {
  return new T(owner, std::forward<Args>(args)...);  // owner takes ownership in TComponent()
}

// True when `name` is a valid identifier (letter or underscore, then letters,
// digits or underscores).
bool IsValidIdent(std::string_view name);

}  // namespace brimwell
