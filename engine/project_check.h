// Checking a project before it is bound to an engine: the project is loaded
// the way the engine will load it, but in the designing state (so no mode
// starts) and on a scratch prefix (so nothing of the user's is touched).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class ClassRegistry;
class ProjectForm;

// Registers the classes of the subsystems above the engine.
using RegisterClassesFunction = void (*)(ClassRegistry& registry);

// Loads `text` with every engine class (and those `register_more` adds, when
// given) and returns the document the engine should carry: the same
// components and values, with pictures inlined (a picture path is relative
// to `base_dir`, which the bound engine does not know) and every reference
// stated. Throws EProjectError naming the
// component and property at fault.
// When `report` is given it receives, per file container, what a run of
// each install type the product offers would install (InstallTypeReport),
// with the sizes of the source files; a source that cannot be read counts
// 0 bytes and a last line says how many there were.
std::string PrepareProjectForBinding(std::string_view text, const std::string& base_dir,
                                     RegisterClassesFunction register_more = nullptr,
                                     std::vector<std::string>* report = nullptr);

// Loads `text` as PrepareProjectForBinding does, runs `edit` on the loaded
// project (its form: designing state, a scratch prefix) and returns the
// document saved afterwards. Throws EProjectError for a project that does
// not load; `edit` may throw anything.
std::string EditProject(std::string_view text, const std::string& base_dir, RegisterClassesFunction register_more,
                        const std::function<void(ProjectForm& form)>& edit);

}  // namespace brimwell
