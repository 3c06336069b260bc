// The published-property system. Every class whose properties are stored in
// a project (components, their sub-objects, collection items) describes its
// published properties once, in a ClassInfo: name, kind, stored default,
// getter and setter. The project reader and writer work only through these
// tables, so a class becomes storable by listing its properties.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "framework/text_case.h"

namespace brimwell {

class TComponent;
class TPersistent;
struct ClassInfo;

enum class PropertyKind {
  kBoolean,
  kInteger,      // 32-bit signed
  kUnsigned,     // 32-bit unsigned
  kString,
  kEnumeration,  // ordinal, named by an EnumInfo
  kSet,          // set of an enumeration, a bit per ordinal
  kStringList,
  kReference,    // another component, by name in a project
  kObject,       // an owned persistent sub-object with its own properties
  kCollection,   // an owned collection of items
  kPicture,      // an owned picture (bitmap or JPEG)
  kColour,       // 0x00BBGGRR, or a negative system colour
};

// The value names of an enumeration, by ordinal.
struct EnumInfo {
  std::string_view type_name;
  std::vector<std::string_view> names;

  // Ordinal of a value name (exact, then case-insensitive), or nullopt.
  std::optional<int> Find(std::string_view name) const;
};

// A set of an enumeration with at most 32 values, a bit per ordinal.
template <class E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr EnumSet FromMask(std::uint32_t mask) {
    EnumSet s;
    s.mask_ = mask;
    return s;
  }
  constexpr std::uint32_t Mask() const { return mask_; }
  constexpr bool Contains(E v) const { return (mask_ >> static_cast<unsigned>(v)) & 1u; }
  constexpr bool Empty() const { return mask_ == 0; }
  constexpr void Include(E v) { mask_ |= 1u << static_cast<unsigned>(v); }
  constexpr void Exclude(E v) { mask_ &= ~(1u << static_cast<unsigned>(v)); }
  constexpr bool operator==(const EnumSet&) const = default;

 private:
  std::uint32_t mask_ = 0;
};

// A scalar property value as the reader and writer pass it: booleans as
// bool, integers, enumerations and colours as int32, unsigned and sets as
// uint32, strings, string lists as vectors, references as a component
// (nullptr for none).
using PropertyValue =
    std::variant<bool, std::int32_t, std::uint32_t, std::string, std::vector<std::string>, TComponent*>;

struct PropertyInfo {
  std::string name;
  PropertyKind kind = PropertyKind::kInteger;
  const EnumInfo* enum_info = nullptr;  // kEnumeration, kSet
  std::string ref_class;                // kReference: class the target must be or derive from
  // The stored default: a value equal to it is not written to a project, and
  // an unstated value keeps the constructor's value. nullopt: always written.
  std::optional<PropertyValue> default_value;
  std::function<PropertyValue(const TPersistent&)> get;  // scalar kinds
  std::function<void(TPersistent&, const PropertyValue&)> set;
  std::function<TPersistent*(TPersistent&)> object;  // kObject, kCollection, kPicture
  // The class of a kObject's sub-object, or of a kCollection's items (a
  // collection type names it as ItemType); null when not known statically.
  // Lets a reference of the format be written without an instance.
  const ClassInfo& (*object_class)() = nullptr;
  // Whether the writer stores the value of this object (beside the stored
  // default); null: decided by the default alone.
  std::function<bool(const TPersistent&)> stored;
};

// The description of one class: its name, its parent, its own published
// properties and, for creatable components, how to make one.
struct ClassInfo {
  std::string name;
  const ClassInfo* parent = nullptr;
  std::vector<PropertyInfo> properties;  // this class's own, in declaration order
  std::function<TComponent*(TComponent* owner)> create;  // null: abstract or not a component

  // True when this class is `class_name` or derives from it (names compare
  // without case, as class names do).
  bool InheritsFrom(std::string_view class_name) const;
  // The property by name (without case), searching parents too; nullptr if none.
  const PropertyInfo* FindProperty(std::string_view property_name) const;
  // Every published property, parents' first.
  std::vector<const PropertyInfo*> AllProperties() const;
};

// Base of every object with published properties.
class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  // The most derived class's description.
  virtual const ClassInfo& ClassType() const = 0;
  const std::string& ClassName() const { return ClassType().name; }
  bool InheritsFrom(std::string_view class_name) const { return ClassType().InheritsFrom(class_name); }

  // Copies the published properties of `source` (same class or a descendant
  // of this one's class) by their tables. Classes with more state override.
  virtual void Assign(const TPersistent& source);
};

// Declares the class-description members of a class with published properties.
#define BRIMWELL_CLASS_INFO()                 \
 public:                                      \
  static const ::brimwell::ClassInfo& StaticClassInfo(); \
  const ::brimwell::ClassInfo& ClassType() const override { return StaticClassInfo(); }

// Builds a ClassInfo from member-function getters and setters:
//
//   static const ClassInfo info = ClassBuilder<TFoo>("TFoo", &TBase::StaticClassInfo())
//       .Creatable()
//       .Property("Include", &TFoo::Include, &TFoo::SetInclude, true)
//       .Enum("Overwrite", kOverwriteTypeInfo, &TFoo::Overwrite, &TFoo::SetOverwrite, owAlways)
//       .Reference("DestDirType", "TCustomPathSpecifier", &TFoo::DestDirType, &TFoo::SetDestDirType)
//       .Build();
template <class C>
class ClassBuilder {
 public:
  ClassBuilder(std::string name, const ClassInfo* parent) {
    info_.name = std::move(name);
    info_.parent = parent;
  }

  // The class can be created by name; C must have a constructor C(TComponent* owner).
  ClassBuilder& Creatable() {
    info_.create = [](TComponent* owner) -> TComponent* { return new C(owner); };
    return *this;
  }

  // bool, int32, uint32, std::string or std::vector<std::string> property.
  // Without a default the value is always written.
  template <class G, class S>
  ClassBuilder& Property(std::string name, G getter, S setter) {
    return AddScalar<G, S>(std::move(name), getter, setter, std::nullopt);
  }
  template <class G, class S, class D>
  ClassBuilder& Property(std::string name, G getter, S setter, D default_value) {
    using V = ValueOf<G>;
    return AddScalar<G, S>(std::move(name), getter, setter, PropertyValue(V(default_value)));
  }

  // Colour (an int32 holding 0x00BBGGRR).
  template <class G, class S>
  ClassBuilder& Colour(std::string name, G getter, S setter, std::int32_t default_value) {
    AddScalar<G, S>(std::move(name), getter, setter, PropertyValue(default_value));
    info_.properties.back().kind = PropertyKind::kColour;
    return *this;
  }

  // Enumeration property of enum type E with value names in `names`.
  template <class G, class S, class E>
  ClassBuilder& Enum(std::string name, const EnumInfo& names, G getter, S setter, E default_value) {
    PropertyInfo p;
    p.name = std::move(name);
    p.kind = PropertyKind::kEnumeration;
    p.enum_info = &names;
    p.default_value = PropertyValue(static_cast<std::int32_t>(default_value));
    p.get = [getter](const TPersistent& o) -> PropertyValue {
      return static_cast<std::int32_t>((static_cast<const C&>(o).*getter)());
    };
    p.set = [setter](TPersistent& o, const PropertyValue& v) {
      (static_cast<C&>(o).*setter)(static_cast<E>(std::get<std::int32_t>(v)));
    };
    info_.properties.push_back(std::move(p));
    return *this;
  }

  // Set property: getter returns EnumSet<E>.
  template <class G, class S, class E>
  ClassBuilder& Set(std::string name, const EnumInfo& names, G getter, S setter,
                    EnumSet<E> default_value) {
    PropertyInfo p;
    p.name = std::move(name);
    p.kind = PropertyKind::kSet;
    p.enum_info = &names;
    p.default_value = PropertyValue(default_value.Mask());
    p.get = [getter](const TPersistent& o) -> PropertyValue {
      return (static_cast<const C&>(o).*getter)().Mask();
    };
    p.set = [setter](TPersistent& o, const PropertyValue& v) {
      (static_cast<C&>(o).*setter)(EnumSet<E>::FromMask(std::get<std::uint32_t>(v)));
    };
    info_.properties.push_back(std::move(p));
    return *this;
  }

  // Reference to a component of class `ref_class` (or a descendant). The
  // getter returns a pointer to some TComponent descendant T; the setter
  // takes a T*. A project that does not state it keeps the constructor's
  // value, which the reader assigns again while loading.
  template <class G, class S>
  ClassBuilder& Reference(std::string name, std::string ref_class, G getter, S setter) {
    using T = std::remove_pointer_t<ValueOf<G>>;
    PropertyInfo p;
    p.name = std::move(name);
    p.kind = PropertyKind::kReference;
    p.ref_class = std::move(ref_class);
    // No stored default: a reference is always written, null included, so
    // a reference emptied on purpose stays empty when the project is read.
    p.get = [getter](const TPersistent& o) -> PropertyValue {
      return static_cast<TComponent*>((static_cast<const C&>(o).*getter)());
    };
    p.set = [setter](TPersistent& o, const PropertyValue& v) {
      (static_cast<C&>(o).*setter)(dynamic_cast<T*>(std::get<TComponent*>(v)));
    };
    info_.properties.push_back(std::move(p));
    return *this;
  }

  // Owned sub-object, collection or picture, reached through a getter that
  // returns a reference (or pointer) to it.
  template <class G>
  ClassBuilder& Object(std::string name, G getter) {
    return AddOwned(std::move(name), PropertyKind::kObject, getter);
  }
  template <class G>
  ClassBuilder& Collection(std::string name, G getter) {
    return AddOwned(std::move(name), PropertyKind::kCollection, getter);
  }
  template <class G>
  ClassBuilder& Picture(std::string name, G getter) {
    return AddOwned(std::move(name), PropertyKind::kPicture, getter);
  }

  // The property added last is written only when `stored` answers true
  // for the object: a default that depends on the object, which replaces
  // the stored default.
  template <class F>
  ClassBuilder& StoredWhen(F stored) {
    info_.properties.back().default_value.reset();
    info_.properties.back().stored = [stored](const TPersistent& o) { return stored(static_cast<const C&>(o)); };
    return *this;
  }

  ClassInfo Build() { return std::move(info_); }

 private:
  template <class G>
  using ValueOf = std::decay_t<std::invoke_result_t<G, const C&>>;

  template <class G, class S>
  ClassBuilder& AddScalar(std::string name, G getter, S setter, std::optional<PropertyValue> def) {
    using V = ValueOf<G>;
    PropertyInfo p;
    p.name = std::move(name);
    if constexpr (std::is_same_v<V, bool>) {
      p.kind = PropertyKind::kBoolean;
    } else if constexpr (std::is_same_v<V, std::int32_t>) {
      p.kind = PropertyKind::kInteger;
    } else if constexpr (std::is_same_v<V, std::uint32_t>) {
      p.kind = PropertyKind::kUnsigned;
    } else if constexpr (std::is_same_v<V, std::string>) {
      p.kind = PropertyKind::kString;
      if (!def) def = PropertyValue(std::string());
    } else if constexpr (std::is_same_v<V, std::vector<std::string>>) {
      p.kind = PropertyKind::kStringList;
      if (!def) def = PropertyValue(std::vector<std::string>());
    } else {
      static_assert(sizeof(V) == 0, "unsupported property type");
    }
    p.default_value = std::move(def);
    p.get = [getter](const TPersistent& o) -> PropertyValue {
      return V((static_cast<const C&>(o).*getter)());
    };
    p.set = [setter](TPersistent& o, const PropertyValue& v) {
      (static_cast<C&>(o).*setter)(std::get<V>(v));
    };
    info_.properties.push_back(std::move(p));
    return *this;
  }

  template <class G>
  ClassBuilder& AddOwned(std::string name, PropertyKind kind, G getter) {
    PropertyInfo p;
    p.name = std::move(name);
    p.kind = kind;
    p.object = [getter](TPersistent& o) -> TPersistent* {
      auto&& r = (static_cast<C&>(o).*getter)();
      if constexpr (std::is_pointer_v<std::decay_t<decltype(r)>>) {
        return r;
      } else {
        return &r;
      }
    };
    using Owned = std::remove_pointer_t<std::decay_t<std::invoke_result_t<G, C&>>>;
    if constexpr (requires { typename Owned::ItemType; }) {
      if (kind == PropertyKind::kCollection) p.object_class = &Owned::ItemType::StaticClassInfo;
    } else if constexpr (requires { Owned::StaticClassInfo(); }) {
      if (kind == PropertyKind::kObject) p.object_class = &Owned::StaticClassInfo;
    }
    info_.properties.push_back(std::move(p));
    return *this;
  }

  ClassInfo info_;
};

}  // namespace brimwell
