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

std::vector<const ClassInfo*> ClassRegistry::Classes() const {
  std::vector<const ClassInfo*> result;
  for (const auto& [key, info] : classes_) result.push_back(info);
  return result;
}

namespace {

std::string Describe(const PropertyValue& v) {
  struct Visitor {
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(std::int32_t i) const { return std::to_string(i); }
    std::string operator()(std::uint32_t u) const { return std::to_string(u); }
    std::string operator()(const std::string& s) const { return "\"" + s + "\""; }
    std::string operator()(const std::vector<std::string>& l) const {
      return "[" + std::to_string(l.size()) + " lines]";
    }
    std::string operator()(TComponent* c) const { return c == nullptr ? "nil" : c->Name(); }
  };
  return std::visit(Visitor{}, v);
}

void CompareDefaults(TPersistent& object, const std::string& path, std::vector<std::string>& out) {
  for (const PropertyInfo* p : object.ClassType().AllProperties()) {
    if (p->object) {
      if (p->kind == PropertyKind::kObject) {
        if (TPersistent* sub = p->object(object)) CompareDefaults(*sub, path + p->name + ".", out);
      }
      continue;
    }
    if (!p->get || !p->default_value) continue;
    PropertyValue actual = p->get(object);
    if (actual != *p->default_value) {
      out.push_back(path + p->name + ": default " + Describe(*p->default_value) + ", constructor " +
                    Describe(actual));
    }
  }
}

// A plain owner for the instances under test.
class TScratchOwner : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  TScratchOwner() : TComponent(nullptr) {}
};

const ClassInfo& TScratchOwner::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TScratchOwner>("TScratchOwner", nullptr).Build();
  return info;
}

}  // namespace

std::vector<std::string> FindDefaultMismatches(const ClassRegistry& registry) {
  std::vector<std::string> out;
  for (const ClassInfo* info : registry.Classes()) {
    if (!info->create) continue;
    TScratchOwner owner;
    TComponent* c = info->create(&owner);
    CompareDefaults(*c, info->name + ".", out);
  }
  return out;
}

}  // namespace brimwell
