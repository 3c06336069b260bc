#include "framework/class_registry.h"

#include <algorithm>

#include "framework/component.h"
#include "framework/exception.h"

namespace brimwell {
namespace {

std::string Key(std::string_view name) {
  std::string k(name);
  std::transform(k.begin(), k.end(), k.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return k;
}

}  // namespace

void ClassRegistry::Register(const ClassInfo& info) {
  auto [it, inserted] = classes_.emplace(Key(info.name), &info);
  if (!inserted && it->second != &info) {
    throw EComponentError("Class " + info.name + " is registered twice");
  }
}

const ClassInfo* ClassRegistry::Find(std::string_view name) const {
  auto it = classes_.find(Key(name));
  return it == classes_.end() ? nullptr : it->second;
}

bool ClassRegistry::InheritsFrom(std::string_view name, std::string_view base) const {
  const ClassInfo* info = Find(name);
  return info != nullptr && info->InheritsFrom(base);
}

TComponent* ClassRegistry::Create(std::string_view name, TComponent* owner) const {
  const ClassInfo* info = Find(name);
  if (info == nullptr) throw EComponentError("Class " + std::string(name) + " not found");
  if (!info->create) {
    throw EComponentError("Cannot create an instance of abstract class " + info->name);
  }
  return info->create(owner);
}

}  // namespace brimwell
