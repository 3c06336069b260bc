#include "framework/project_file.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "framework/base64.h"
#include "framework/class_registry.h"
#include "framework/collection.h"
#include "framework/component.h"
#include "framework/format.h"
#include "framework/picture.h"
#include "framework/property_json.h"
#include "host/host_env.h"
#include "host/host_path.h"

namespace brimwell {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kDataUriPrefix = "data:";

// Where in the document a value is: used to prefix every error.
struct Place {
  // "component \"Readme\" (TInstallFile)", one text shared by the places
  // within a component (a project has thousands).
  std::shared_ptr<const std::string> component;
  std::string property;  // "Information.CompanyName", "Entries[2].Value"

  Place(std::string c, std::string p) : component(std::make_shared<const std::string>(std::move(c))), property(std::move(p)) {}
  Place(std::shared_ptr<const std::string> c, std::string p) : component(std::move(c)), property(std::move(p)) {}

  std::string Describe() const {
    std::string s = *component;
    if (!property.empty()) s += ", property \"" + property + "\"";
    return s;
  }
};

[[noreturn]] void Fail(const Place& place, const std::string& what) {
  throw EProjectError(place.Describe() + ": " + what);
}

std::string JsonTypeName(const Json& v) { return v.type_name(); }

// A reference to be set once every component exists.
struct Fixup {
  TPersistent* object;
  const PropertyInfo* property;
  std::optional<std::string> target;  // nullopt: keep the current value
  Place place;
};

class Reader {
 public:
  Reader(const ClassRegistry& registry, TComponent& root, std::string base_dir)
      : registry_(registry), root_(root), base_dir_(std::move(base_dir)) {}

  void Load(const Json& doc) {
    Place top{"project", ""};
    if (!doc.is_object()) Fail(top, "the document must be a JSON object");
    auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get<std::string>() != kProjectFormat) {
      Fail(top, "\"format\" must be \"" + std::string(kProjectFormat) + "\"");
    }
    auto components = doc.find("components");
    if (components == doc.end() || !components->is_array()) Fail(top, "\"components\" must be an array");

    std::vector<std::pair<TComponent*, const Json*>> made;
    made.reserve(components->size());
    for (std::size_t i = 0; i < components->size(); ++i) {
      const Json& entry = (*components)[i];
      made.emplace_back(CreateComponent(entry, i), &entry);
    }
    for (auto& [component, entry] : made) {
      Place place = PlaceOf(*component);
      auto props = entry->find("properties");
      if (props != entry->end()) {
        if (!props->is_object()) Fail(place, "\"properties\" must be an object");
        ReadProperties(*component, *props, place, "");
      }
      KeepUnstatedReferences(*component, props == entry->end() ? nullptr : &*props, place);
    }
    for (const Fixup& f : fixups_) Resolve(f);
  }

 private:
  static Place PlaceOf(const TComponent& c) {
    return {"component \"" + c.Name() + "\" (" + c.ClassName() + ")", ""};
  }

  TComponent* CreateComponent(const Json& entry, std::size_t index) {
    Place place{"components[" + std::to_string(index) + "]", ""};
    if (!entry.is_object()) Fail(place, "each component must be a JSON object");
    auto cls = entry.find("class");
    auto name = entry.find("name");
    if (cls == entry.end() || !cls->is_string()) Fail(place, "\"class\" must be a string");
    if (name == entry.end() || !name->is_string()) Fail(place, "\"name\" must be a string");
    std::string class_name = cls->get<std::string>();
    std::string comp_name = name->get<std::string>();
    place.component = std::make_shared<const std::string>("component \"" + comp_name + "\" (" + class_name + ")");
    for (const auto& [key, value] : entry.items()) {
      if (key != "class" && key != "name" && key != "properties") {
        Fail(place, "unknown member \"" + key + "\"");
      }
    }
    const ClassInfo* info = registry_.Find(class_name);
    if (info == nullptr) Fail(place, "unknown class \"" + class_name + "\"");
    if (!info->create) Fail(place, "class \"" + class_name + "\" cannot be created");
    if (!IsValidIdent(comp_name)) Fail(place, "\"" + comp_name + "\" is not a valid component name");

    // A component that constructors make by themselves (a standard path
    // specifier) may be listed to set its properties; it is not made twice.
    if (TComponent* existing = root_.FindComponent(comp_name)) {
      if (!existing->StoredInProject() && &existing->ClassType() == info) return existing;
      Fail(place, "a component named " + comp_name + " already exists");
    }
    TComponent* component = nullptr;
    try {
      component = info->create(&root_);
      component->SetState(ComponentState::kLoading, true);
      component->SetName(comp_name);
    } catch (const EProjectError&) {
      throw;
    } catch (const Exception& e) {
      Fail(place, e.Message());
    }
    return component;
  }

  void ReadProperties(TPersistent& object, const Json& props, const Place& owner_place,
                      const std::string& path) {
    for (const auto& [key, value] : props.items()) {
      Place place{owner_place.component, path + key};
      const PropertyInfo* p = object.ClassType().FindProperty(key);
      if (p == nullptr) Fail(place, "unknown property");
      try {
        ReadProperty(object, *p, value, place);
      } catch (const EProjectError&) {
        throw;
      } catch (const Exception& e) {
        Fail(place, e.Message());  // a setter refused the value
      }
    }
  }

  // A reference the project leaves unstated keeps the value the constructor
  // gave it: it is assigned again while loading, like a stated one, so
  // components that clear never-assigned references after loading keep it.
  // (The writer states every reference, null included.)
  void KeepUnstatedReferences(TComponent& component, const Json* props, const Place& place) {
    for (const PropertyInfo* p : ReferencesOf(component.ClassType())) {
      if (props != nullptr) {
        bool stated = false;
        for (auto it = props->begin(); it != props->end() && !stated; ++it) stated = SameText(it.key(), p->name);
        if (stated) continue;
      }
      fixups_.push_back({&component, p, std::nullopt, {place.component, p->name}});
    }
  }

  // The reference properties of a class, found once per load: a project
  // holds many components of few classes.
  const std::vector<const PropertyInfo*>& ReferencesOf(const ClassInfo& info) {
    auto [it, added] = references_.try_emplace(&info);
    if (added) {
      for (const PropertyInfo* p : info.AllProperties()) {
        if (p->kind == PropertyKind::kReference) it->second.push_back(p);
      }
    }
    return it->second;
  }

  void ReadProperty(TPersistent& object, const PropertyInfo& p, const Json& v, const Place& place) {
    auto expect = [&](bool ok, const char* what) {
      if (!ok) Fail(place, std::string("expected ") + what + ", found " + JsonTypeName(v));
    };
    switch (p.kind) {
      case PropertyKind::kBoolean:
        expect(v.is_boolean(), "true or false");
        p.set(object, v.get<bool>());
        return;
      case PropertyKind::kInteger:
      case PropertyKind::kColour: {
        expect(v.is_number_integer(), "an integer");
        if (v.is_number_unsigned() ? v.get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max()
                                   : v.get<std::int64_t>() < std::numeric_limits<std::int32_t>::min()) {
          Fail(place, "value out of range for a 32-bit integer");
        }
        p.set(object, static_cast<std::int32_t>(v.get<std::int64_t>()));
        return;
      }
      case PropertyKind::kUnsigned:
        expect(v.is_number_unsigned(), "a non-negative integer");
        if (v.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
          Fail(place, "value out of range for a 32-bit unsigned integer");
        }
        p.set(object, static_cast<std::uint32_t>(v.get<std::uint64_t>()));
        return;
      case PropertyKind::kString:
        expect(v.is_string(), "a string");
        p.set(object, v.get<std::string>());
        return;
      case PropertyKind::kEnumeration:
        expect(v.is_string(), "a value name");
        p.set(object, static_cast<std::int32_t>(EnumOrdinal(p, v.get<std::string>(), place)));
        return;
      case PropertyKind::kSet: {
        expect(v.is_array(), "an array of value names");
        std::uint32_t mask = 0;
        for (const Json& item : v) {
          if (!item.is_string()) Fail(place, "expected a value name in the set, found " + JsonTypeName(item));
          mask |= 1u << EnumOrdinal(p, item.get<std::string>(), place);
        }
        p.set(object, mask);
        return;
      }
      case PropertyKind::kStringList: {
        expect(v.is_array(), "an array of strings");
        std::vector<std::string> lines;
        for (const Json& item : v) {
          if (!item.is_string()) Fail(place, "expected strings in the list, found " + JsonTypeName(item));
          lines.push_back(item.get<std::string>());
        }
        p.set(object, lines);
        return;
      }
      case PropertyKind::kReference:
        expect(v.is_string() || v.is_null(), "a component name or null");
        fixups_.push_back({&object, &p, v.is_null() ? std::string() : v.get<std::string>(), place});
        return;
      case PropertyKind::kObject:
        expect(v.is_object(), "an object");
        ReadProperties(*p.object(object), v, place, place.property + ".");
        return;
      case PropertyKind::kCollection: {
        expect(v.is_array(), "an array of objects");
        auto* collection = dynamic_cast<TCollection*>(p.object(object));
        collection->Clear();
        for (std::size_t i = 0; i < v.size(); ++i) {
          std::string item_path = place.property + "[" + std::to_string(i) + "]";
          if (!v[i].is_object()) Fail({place.component, item_path}, "expected an object");
          ReadProperties(collection->Add(), v[i], place, item_path + ".");
        }
        return;
      }
      case PropertyKind::kPicture:
        expect(v.is_string() || v.is_null(), "a picture file name, a data: text or null");
        ReadPicture(*dynamic_cast<TPicture*>(p.object(object)), v, place);
        return;
    }
  }

  static int EnumOrdinal(const PropertyInfo& p, const std::string& name, const Place& place) {
    if (auto ordinal = p.enum_info->Find(name)) return *ordinal;
    std::string allowed;
    for (std::string_view n : p.enum_info->names) allowed += (allowed.empty() ? "" : ", ") + std::string(n);
    Fail(place, "unknown value \"" + name + "\" of " + std::string(p.enum_info->type_name) + " (one of " +
                    allowed + ")");
  }

  void ReadPicture(TPicture& picture, const Json& v, const Place& place) {
    if (v.is_null()) {
      picture.Clear();
      return;
    }
    std::string text = v.get<std::string>();
    if (text.starts_with(kDataUriPrefix)) {
      auto comma = text.find(',');
      if (comma == std::string::npos || text.substr(0, comma).find(";base64") == std::string::npos) {
        Fail(place, "an inline picture must be a data:...;base64, text");
      }
      auto bytes = Base64Decode(std::string_view(text).substr(comma + 1));
      if (!bytes) Fail(place, "the inline picture is not valid Base64");
      picture.LoadFromBytes(std::move(*bytes));
      return;
    }
    picture.LoadFromFile(text.starts_with('/') ? text : host::JoinPath(base_dir_, text));
  }

  void Resolve(const Fixup& f) {
    TComponent* target = nullptr;
    if (!f.target) {
      target = std::get<TComponent*>(f.property->get(*f.object));
    } else if (!f.target->empty()) {
      target = root_.FindComponent(*f.target);
      if (target == nullptr) Fail(f.place, "no component named \"" + *f.target + "\"");
      if (!target->InheritsFrom(f.property->ref_class)) {
        Fail(f.place, "\"" + *f.target + "\" is a " + target->ClassName() + ", not a " + f.property->ref_class);
      }
    }
    try {
      f.property->set(*f.object, target);
    } catch (const Exception& e) {
      Fail(f.place, e.Message());
    }
  }

  const ClassRegistry& registry_;
  TComponent& root_;
  std::string base_dir_;
  std::vector<Fixup> fixups_;
  std::unordered_map<const ClassInfo*, std::vector<const PropertyInfo*>> references_;
};

std::string SyntaxError(std::string_view text, const nlohmann::json::parse_error& e) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  std::string what = e.what();
  // nlohmann's text: "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
  auto colon = what.find(": ", what.find("parse error"));
  std::string detail = colon == std::string::npos ? what : what.substr(colon + 2);
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + detail;
}

// Writer -------------------------------------------------------------------

Json WriteProperties(TPersistent& object) {
  Json out = Json::object();
  for (const PropertyInfo* p : object.ClassType().AllProperties()) {
    switch (p->kind) {
      case PropertyKind::kObject: {
        Json sub = WriteProperties(*p->object(object));
        if (!sub.empty()) out[p->name] = std::move(sub);
        break;
      }
      case PropertyKind::kCollection: {
        auto* collection = dynamic_cast<TCollection*>(p->object(object));
        if (collection->Count() == 0) break;
        Json items = Json::array();
        for (int i = 0; i < collection->Count(); ++i) items.push_back(WriteProperties(collection->Items(i)));
        out[p->name] = std::move(items);
        break;
      }
      case PropertyKind::kPicture: {
        auto* picture = dynamic_cast<TPicture*>(p->object(object));
        if (picture->Empty()) break;
        std::string mime = picture->Format() == PictureFormat::kJpeg ? "image/jpeg" : "image/bmp";
        out[p->name] = std::string(kDataUriPrefix) + mime + ";base64," + Base64Encode(picture->Data());
        break;
      }
      default: {
        if (!p->get) break;
        if (p->stored && !p->stored(object)) break;
        PropertyValue v = p->get(object);
        if (p->default_value && *p->default_value == v) break;
        out[p->name] = PropertyValueJson(*p, v, UnnamedReference::kRefuse);
      }
    }
  }
  return out;
}

}  // namespace

Json PropertyValueJson(const PropertyInfo& p, const PropertyValue& v, UnnamedReference unnamed) {
  switch (p.kind) {
    case PropertyKind::kBoolean: return std::get<bool>(v);
    case PropertyKind::kInteger:
    case PropertyKind::kColour: return std::get<std::int32_t>(v);
    case PropertyKind::kUnsigned: return std::get<std::uint32_t>(v);
    case PropertyKind::kString: return std::get<std::string>(v);
    case PropertyKind::kStringList: return std::get<std::vector<std::string>>(v);
    case PropertyKind::kEnumeration: {
      auto ordinal = static_cast<std::size_t>(std::get<std::int32_t>(v));
      if (ordinal >= p.enum_info->names.size()) return static_cast<std::int32_t>(ordinal);
      return std::string(p.enum_info->names[ordinal]);
    }
    case PropertyKind::kSet: {
      Json names = Json::array();
      std::uint32_t mask = std::get<std::uint32_t>(v);
      for (std::size_t i = 0; i < p.enum_info->names.size() && i < 32; ++i) {
        if ((mask >> i) & 1u) names.push_back(std::string(p.enum_info->names[i]));
      }
      return names;
    }
    case PropertyKind::kReference: {
      TComponent* target = std::get<TComponent*>(v);
      if (target == nullptr) return nullptr;
      if (target->Name().empty()) {
        if (unnamed == UnnamedReference::kNull) return nullptr;
        throw EProjectError("property \"" + p.name + "\" refers to a component without a name");
      }
      return target->Name();
    }
    default: break;
  }
  return nullptr;
}


void CheckProjectNesting(std::string_view text) {
  int depth = 0, line = 1;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (c == '\n') ++line;
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"': in_string = true; break;
      case '[':
      case '{':
        if (++depth > kMaxProjectNesting) {
          throw EProjectError(Format(kNestedTooDeep, {line, kMaxProjectNesting}));
        }
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default: break;
    }
  }
}

namespace {

Json ParseProject(std::string_view text) {
  CheckProjectNesting(text);
  try {
    return Json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& e) {
    throw EProjectError(SyntaxError(text, e));
  } catch (const nlohmann::json::exception& e) {
    // A number too large for a double ("1e99999") is no parse error to
    // the JSON code but ends the load all the same.
    std::string what = e.what();
    auto close = what.find("] ");
    throw EProjectError(close == std::string::npos ? what : what.substr(close + 2));
  }
}

}  // namespace

void CheckProjectSyntax(std::string_view text) { (void)ParseProject(text); }

std::string ReadProjectText(const std::string& file) {
  host::Env& env = host::Env::Default();
  if (env.DirectoryExists(file)) throw EProjectError(file + ": this is a directory, not a project file");
  host::Result<std::string> text = env.ReadFile(file);
  if (text) return *text;
  if (text.error() == std::errc::no_such_file_or_directory) throw EProjectError(file + ": there is no such file");
  throw EProjectError(file + ": cannot read the project file: " + text.error().message());
}

void LoadProject(std::string_view text, const ClassRegistry& registry, TComponent& root,
                 const std::string& base_dir) {
  Json doc = ParseProject(text);

  std::vector<TComponent*> before;
  for (int i = 0; i < root.ComponentCount(); ++i) before.push_back(root.Components(i));
  bool root_was_loading = root.Loading();
  root.SetState(ComponentState::kLoading, true);
  try {
    Reader(registry, root, base_dir).Load(doc);
  } catch (...) {
    // Free what this load made, newest first; then the tree is as before.
    for (int i = root.ComponentCount() - 1; i >= 0; --i) {
      TComponent* c = root.Components(i);
      if (std::find(before.begin(), before.end(), c) == before.end()) delete c;
    }
    root.SetState(ComponentState::kLoading, root_was_loading);
    throw;
  }
  // Loaded in creation order; a Loaded may create components, so index.
  for (int i = 0; i < root.ComponentCount(); ++i) {
    TComponent* c = root.Components(i);
    if (c->Loading()) c->Loaded();
  }
  if (!root_was_loading) root.Loaded();
}

void LoadProjectFile(const std::string& file, const ClassRegistry& registry, TComponent& root) {
  std::string text = ReadProjectText(file);
  try {
    LoadProject(text, registry, root, host::ParentDirectory(file));
  } catch (const EProjectError& e) {
    throw EProjectError(file + ": " + e.Message());
  }
}

std::string SaveProject(const TComponent& root) {
  Json components = Json::array();
  for (int i = 0; i < root.ComponentCount(); ++i) {
    TComponent* c = root.Components(i);
    if (!c->StoredInProject()) continue;
    Json entry;
    entry["class"] = c->ClassName();
    entry["name"] = c->Name();
    try {
      Json props = WriteProperties(*c);
      if (!props.empty()) entry["properties"] = std::move(props);
    } catch (const EProjectError& e) {
      throw EProjectError("component \"" + c->Name() + "\" (" + c->ClassName() + "), " + e.Message());
    }
    components.push_back(std::move(entry));
  }
  Json doc;
  doc["format"] = std::string(kProjectFormat);
  doc["components"] = std::move(components);
  return doc.dump(2) + "\n";
}

void SaveProjectFile(const TComponent& root, const std::string& file) {
  std::string text = SaveProject(root);
  // Written beside and renamed over: the old project stays whole until the
  // new one is.
  if (host::Env::Default().WriteFileAtomically(file, text)) {
    throw EProjectError(file + ": cannot write the project file");
  }
}

}  // namespace brimwell
