// The project file: a product's component tree as a JSON document.
//
//   {"format": "brimwell-project/1",
//    "components": [{"class": "TInstall", "name": "Install1",
//                    "properties": {"DestDir": "\\MyApplication", ...}}, ...]}
//
// Components are listed in creation order and all owned by one root (the
// main form). Properties go by published name: enumerations by value name,
// sets as arrays of value names, string lists as arrays, references by
// component name, sub-objects as objects, collections as arrays of objects,
// pictures as a path relative to the project file or an inline
// "data:image/...;base64," text. Unstated properties keep their defaults.
#pragma once

#include <string>
#include <string_view>

#include "framework/exception.h"

namespace brimwell {

class ClassRegistry;
class TComponent;

// Every load error: the text names the component and the property at fault
// (or the line of a syntax error) and, when read from a file, the file.
BRIMWELL_EXCEPTION(EProjectError, Exception);

inline constexpr std::string_view kProjectFormat = "brimwell-project/1";

// How deep arrays and objects may nest in a project. A real project nests a
// handful of levels; the limit only keeps a hostile document from
// exhausting the stack of the code that copies and writes JSON values.
inline constexpr int kMaxProjectNesting = 512;
inline constexpr char kNestedTooDeep[] = "line %d: arrays and objects nest deeper than %d levels";

// Throws EProjectError(kNestedTooDeep), naming the line where the nesting
// passes kMaxProjectNesting, for a document that nests deeper. Looks at
// brackets outside strings only; it is no syntax check.
void CheckProjectNesting(std::string_view text);

// Creates the project's components on `root` with the loading state set,
// after CheckProjectNesting,
// sets their properties, resolves references by name once all are read,
// then runs Loaded on every component in creation order. Picture paths are
// relative to `base_dir`. Throws EProjectError; every component the load
// created is freed again first, so nothing half-loaded remains.
void LoadProject(std::string_view text, const ClassRegistry& registry, TComponent& root,
                 const std::string& base_dir = {});
// Throws EProjectError for a text that is no JSON document: "line 3,
// column 5: " and what is wrong there, without the JSON reader's own
// prefix; also kNestedTooDeep as CheckProjectNesting.
void CheckProjectSyntax(std::string_view text);

// The text of a project file (host path). Throws EProjectError naming the
// file and saying why it cannot be read: there is no such file, it is a
// directory, or the system's reason (permission denied, ...).
std::string ReadProjectText(const std::string& file);

// Reads a project file (host path); errors name the file.
void LoadProjectFile(const std::string& file, const ClassRegistry& registry, TComponent& root);

// The project document of `root`'s stored components, writing only the
// properties that differ from their stored defaults. Throws EProjectError
// for a reference to a component that has no name or another owner.
std::string SaveProject(const TComponent& root);
// Writes the document to a temporary file beside `file`, then renames it
// over `file`, so a failed save never leaves a half-written project.
void SaveProjectFile(const TComponent& root, const std::string& file);

}  // namespace brimwell
