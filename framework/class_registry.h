// The class registry: creates components by class name. Each subsystem
// registers its creatable classes (and the abstract ones that references may
// name) in the registry that the project reader is given; there is no global
// registry, so a test can load projects of its own test classes.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "framework/persistent.h"

namespace brimwell {

class TComponent;

class ClassRegistry {
 public:
  ClassRegistry() = default;
  ClassRegistry(const ClassRegistry&) = delete;
  ClassRegistry& operator=(const ClassRegistry&) = delete;

  // Registers a class under its name. Registering the same ClassInfo again
  // does nothing; another class of the same name throws EComponentError.
  void Register(const ClassInfo& info);
  // Registers T (anything with StaticClassInfo()).
  template <class T>
  void Register() {
    Register(T::StaticClassInfo());
  }

  // The class of that name (without case), or nullptr.
  const ClassInfo* Find(std::string_view name) const;
  // True when class `name` is or derives from class `base`; false when
  // `name` is not registered.
  bool InheritsFrom(std::string_view name, std::string_view base) const;
  // Creates a component of class `name` owned by `owner`. Throws
  // EComponentError "Class %s not found" for an unknown class and
  // "Cannot create an instance of abstract class %s" for one without a
  // constructor.
  TComponent* Create(std::string_view name, TComponent* owner) const;
  // Every registered class, by name.
  std::vector<const ClassInfo*> Classes() const;

 private:
  std::map<std::string, const ClassInfo*> classes_;  // key: lower-case name
};

// Creates one instance of every creatable class of `registry` on a scratch
// owner and compares each published scalar property with its declared
// stored default, including those of owned sub-objects. Returns one line per
// mismatch ("TInstall.DestDir: default \"\", constructor \"\\MyApplication\""),
// empty when every class agrees. A mismatch means a project saved without
// that value would load with another one.
std::vector<std::string> FindDefaultMismatches(const ClassRegistry& registry);

}  // namespace brimwell
