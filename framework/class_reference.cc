#include "framework/class_reference.h"

#include <limits>
#include <set>

#include <nlohmann/json.hpp>

#include "framework/class_registry.h"
#include "framework/component.h"
#include "framework/persistent.h"
#include "framework/project_file.h"
#include "framework/property_json.h"

namespace brimwell {
namespace {

using Json = nlohmann::ordered_json;

// Where a reference of the format points: "#/$defs/TInstall".
std::string DefRef(const std::string& class_name) { return "#/$defs/" + class_name; }

// A component name as the project reader accepts it (IsValidIdent).
constexpr char kIdentPattern[] = "^[A-Za-z_][A-Za-z0-9_]*$";

std::string EnumValues(const PropertyInfo& p) {
  std::string out;
  for (std::string_view n : p.enum_info->names) out += (out.empty() ? "" : ", ") + std::string(n);
  return out;
}

// A scalar value as the project file writes it; null when it has no form
// there (a reference without a named target).
Json ValueJson(const PropertyInfo& p, const PropertyValue& v) {
  return PropertyValueJson(p, v, UnnamedReference::kNull);
}

// The default a reader of the reference should expect: the stored default,
// else (references) the sample's value. nullopt when neither tells.
std::optional<Json> DefaultJson(const PropertyInfo& p, const TPersistent* sample) {
  if (p.default_value) return ValueJson(p, *p.default_value);
  if (p.kind == PropertyKind::kReference && sample != nullptr && p.get) return ValueJson(p, p.get(*sample));
  return std::nullopt;
}

void DescribeProperties(const ClassInfo& info, const TPersistent* sample, const std::string& path,
                        std::string& out) {
  for (const PropertyInfo* p : info.AllProperties()) {
    const std::string name = path + p->name;
    if (p->kind == PropertyKind::kObject && p->object_class != nullptr) {
      const TPersistent* sub = sample != nullptr ? p->object(const_cast<TPersistent&>(*sample)) : nullptr;
      DescribeProperties(p->object_class(), sub, name + ".", out);
      continue;
    }
    if (p->kind == PropertyKind::kCollection && p->object_class != nullptr) {
      out += "  " + name + ": " + PropertyTypeText(*p) + " (an array of objects)\n";
      DescribeProperties(p->object_class(), nullptr, name + "[].", out);
      continue;
    }
    out += "  " + name + ": " + PropertyTypeText(*p);
    if (std::optional<Json> def = DefaultJson(*p, sample)) {
      out += " = " + (def->is_null() ? std::string("none") : def->dump());
    } else if (p->kind == PropertyKind::kReference) {
      out += " = as the component makes it";
    }
    out += "\n";
    switch (p->kind) {
      case PropertyKind::kEnumeration: out += "      one of " + EnumValues(*p) + "\n"; break;
      case PropertyKind::kSet: out += "      an array of " + EnumValues(*p) + "\n"; break;
      case PropertyKind::kReference:
        out += "      the name of a " + p->ref_class + " (or of a class derived from it), or null\n";
        break;
      case PropertyKind::kPicture:
        out += "      a BMP or JPEG file relative to the project file, a data:image/...;base64, text, or null\n";
        break;
      default: break;
    }
  }
}

Json PropertySchema(const PropertyInfo& p) {
  Json s = Json::object();
  switch (p.kind) {
    case PropertyKind::kBoolean: s["type"] = "boolean"; break;
    case PropertyKind::kInteger:
    case PropertyKind::kColour:
      s["type"] = "integer";
      s["minimum"] = std::numeric_limits<std::int32_t>::min();
      s["maximum"] = std::numeric_limits<std::int32_t>::max();
      break;
    case PropertyKind::kUnsigned:
      s["type"] = "integer";
      s["minimum"] = 0;
      s["maximum"] = std::numeric_limits<std::uint32_t>::max();
      break;
    case PropertyKind::kString: s["type"] = "string"; break;
    case PropertyKind::kEnumeration: {
      Json names = Json::array();
      for (std::string_view n : p.enum_info->names) names.push_back(std::string(n));
      s["enum"] = std::move(names);
      break;
    }
    case PropertyKind::kSet: {
      Json names = Json::array();
      for (std::string_view n : p.enum_info->names) names.push_back(std::string(n));
      s["type"] = "array";
      s["items"] = Json{{"enum", std::move(names)}};
      break;
    }
    case PropertyKind::kStringList:
      s["type"] = "array";
      s["items"] = Json{{"type", "string"}};
      break;
    case PropertyKind::kReference:
      s["anyOf"] = Json::array({Json{{"type", "string"}, {"pattern", kIdentPattern}}, Json{{"type", "null"}}});
      break;
    case PropertyKind::kObject:
      if (p.object_class != nullptr) {
        s["$ref"] = DefRef(p.object_class().name);
      } else {
        s["type"] = "object";
      }
      break;
    case PropertyKind::kCollection:
      s["type"] = "array";
      s["items"] = p.object_class != nullptr ? Json{{"$ref", DefRef(p.object_class().name)}}
                                             : Json{{"type", "object"}};
      break;
    case PropertyKind::kPicture: s["type"] = Json::array({"string", "null"}); break;
  }
  s["description"] = PropertyTypeText(p);
  if (p.kind == PropertyKind::kReference) {
    s["description"] = "the name of a " + p.ref_class + " (or of a class derived from it), or null";
  }
  if (std::optional<Json> def = DefaultJson(p, nullptr); def && !def->is_null()) s["default"] = *def;
  return s;
}

// Adds the definition of `info`'s properties (and of its sub-objects'
// and items' classes) to `defs` once.
void AddDefinition(const ClassInfo& info, Json& defs) {
  if (defs.contains(info.name)) return;
  Json properties = Json::object();
  defs[info.name] = Json::object();  // claims the name before recursing
  for (const PropertyInfo* p : info.AllProperties()) {
    properties[p->name] = PropertySchema(*p);
    if ((p->kind == PropertyKind::kObject || p->kind == PropertyKind::kCollection) && p->object_class != nullptr) {
      AddDefinition(p->object_class(), defs);
    }
  }
  defs[info.name] = Json{{"type", "object"}, {"properties", std::move(properties)}, {"additionalProperties", false}};
}

}  // namespace

std::string PropertyTypeText(const PropertyInfo& p) {
  switch (p.kind) {
    case PropertyKind::kBoolean: return "Boolean";
    case PropertyKind::kInteger: return "Integer";
    case PropertyKind::kUnsigned: return "Cardinal";
    case PropertyKind::kString: return "String";
    case PropertyKind::kEnumeration: return std::string(p.enum_info->type_name);
    case PropertyKind::kSet: return "set of " + std::string(p.enum_info->type_name);
    case PropertyKind::kStringList: return "string list";
    case PropertyKind::kReference: return "reference to " + p.ref_class;
    case PropertyKind::kObject: return p.object_class != nullptr ? p.object_class().name : "object";
    case PropertyKind::kCollection:
      return p.object_class != nullptr ? "collection of " + p.object_class().name : "collection";
    case PropertyKind::kPicture: return "picture";
    case PropertyKind::kColour: return "Colour";
  }
  return "?";
}

std::string ListProjectClasses(const ClassRegistry& registry) {
  std::string out;
  std::size_t width = 0;
  for (const ClassInfo* info : registry.Classes()) {
    if (info->create) width = std::max(width, info->name.size());
  }
  for (const ClassInfo* info : registry.Classes()) {
    if (!info->create) continue;
    std::string line = info->name;
    if (info->parent != nullptr) {
      line.resize(width + 2, ' ');
      line += "derives from";
      for (const ClassInfo* c = info->parent; c != nullptr; c = c->parent) line += " " + c->name;
    }
    out += line + "\n";
  }
  return out;
}

std::string DescribeClass(const ClassInfo& info, const TPersistent* sample) {
  std::string out = info.name;
  if (info.parent != nullptr) {
    out += " derives from";
    for (const ClassInfo* c = info.parent; c != nullptr; c = c->parent) out += " " + c->name;
  }
  out += info.create ? "\n" : " (it cannot be created by a project)\n";
  std::vector<const PropertyInfo*> all = info.AllProperties();
  if (all.empty()) return out + "\nIt has no published properties.\n";
  out += "\nPublished properties (name: type = default):\n";
  DescribeProperties(info, sample, "", out);
  return out;
}

std::string ProjectSchema(const ClassRegistry& registry) {
  Json defs = Json::object();
  Json class_names = Json::array();
  Json by_class = Json::array();
  for (const ClassInfo* info : registry.Classes()) {
    if (!info->create) continue;
    class_names.push_back(info->name);
    AddDefinition(*info, defs);
    by_class.push_back(Json{
        {"if", Json{{"properties", Json{{"class", Json{{"const", info->name}}}}}}},
        {"then", Json{{"properties", Json{{"properties", Json{{"$ref", DefRef(info->name)}}}}}}}});
  }
  Json component = {
      {"type", "object"},
      {"required", Json::array({"class", "name"})},
      {"properties",
       Json{{"class", Json{{"enum", class_names}, {"description", "the component's class"}}},
            {"name", Json{{"type", "string"},
                          {"pattern", kIdentPattern},
                          {"description", "the component's name, unique in the project"}}},
            {"properties", Json{{"type", "object"}, {"description", "published properties by name"}}}}},
      {"additionalProperties", false},
      {"allOf", std::move(by_class)}};
  defs["component"] = std::move(component);

  Json schema = {
      {"$schema", kSchemaDialect},
      {"$id", "urn:brimwell:project:1"},
      {"title", "Brimwell project"},
      {"description",
       "A product's component tree: components in creation order, each with its class, name and the "
       "published properties that differ from their defaults"},
      {"type", "object"},
      {"required", Json::array({"format", "components"})},
      {"properties",
       Json{{"format", Json{{"const", std::string(kProjectFormat)}}},
            {"components", Json{{"type", "array"}, {"items", Json{{"$ref", DefRef("component")}}}}}}},
      {"$defs", std::move(defs)}};
  return schema.dump(2) + "\n";
}

}  // namespace brimwell
