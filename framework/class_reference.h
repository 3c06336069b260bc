// The reference of the project format, generated from the class registry:
// the classes a project may hold, each class's published properties with
// type, stored default, enumeration values and what a reference must name,
// and a JSON Schema (draft 2020-12) of the whole project document. Since
// the project reader works from the same tables, the reference cannot
// drift from what a project load accepts.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

class ClassRegistry;
class TPersistent;
struct ClassInfo;
struct PropertyInfo;

inline constexpr char kSchemaDialect[] = "https://json-schema.org/draft/2020-12/schema";

// The type of a property as the reference names it: "Boolean", "Integer",
// "Cardinal", "String", "Colour", "string list", "picture", the enumeration's
// type name ("TOverwriteType"), "set of TInstallType", "reference to
// TCustomPathSpecifier", the sub-object's class, "collection of
// TRegistryEntry".
std::string PropertyTypeText(const PropertyInfo& property);

// The classes a project may hold (the creatable ones), one a line: the name,
// then the chain of classes it derives from.
std::string ListProjectClasses(const ClassRegistry& registry);

// One class's published properties, parents' first, sub-objects and
// collection items expanded with dotted names ("Information.CompanyName",
// "Entries[].Value"). A line per property ("  Name: Type = default"),
// followed by indented lines for enumeration values and reference targets.
// `sample`, when given, is an instance of the class made as a project load
// makes it: it supplies the defaults that no table states (references set
// by the constructor).
std::string DescribeClass(const ClassInfo& info, const TPersistent* sample = nullptr);

// The JSON Schema (draft 2020-12) of a project document whose components are
// of the registry's creatable classes, as indented JSON text.
std::string ProjectSchema(const ClassRegistry& registry);

}  // namespace brimwell
