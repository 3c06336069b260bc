#include "framework/persistent.h"

#include "framework/exception.h"

namespace brimwell {
std::optional<int> EnumInfo::Find(std::string_view name) const {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (SameText(names[i], name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool ClassInfo::InheritsFrom(std::string_view class_name) const {
  for (const ClassInfo* c = this; c != nullptr; c = c->parent) {
    if (SameText(c->name, class_name)) return true;
  }
  return false;
}

const PropertyInfo* ClassInfo::FindProperty(std::string_view property_name) const {
  for (const ClassInfo* c = this; c != nullptr; c = c->parent) {
    for (const PropertyInfo& p : c->properties) {
      if (SameText(p.name, property_name)) return &p;
    }
  }
  return nullptr;
}

std::vector<const PropertyInfo*> ClassInfo::AllProperties() const {
  std::vector<const ClassInfo*> chain;
  for (const ClassInfo* c = this; c != nullptr; c = c->parent) chain.push_back(c);
  std::vector<const PropertyInfo*> result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (const PropertyInfo& p : (*it)->properties) {
      // A descendant may republish a parent's property; the newest wins.
      std::erase_if(result, [&](const PropertyInfo* q) { return SameText(q->name, p.name); });
      result.push_back(&p);
    }
  }
  return result;
}

void TPersistent::Assign(const TPersistent& source) {
  if (!source.ClassType().InheritsFrom(ClassName())) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
  }
  // Only the properties of this class are copied; the source is at least as derived.
  for (const PropertyInfo* p : ClassType().AllProperties()) {
    if (p->object) {
      TPersistent* from = p->object(const_cast<TPersistent&>(source));
      TPersistent* to = p->object(*this);
      if (from != nullptr && to != nullptr) to->Assign(*from);
    } else if (p->get && p->set) {
      p->set(*this, p->get(source));
    }
  }
}

}  // namespace brimwell
