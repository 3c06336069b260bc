// Registers the component classes of the system changes (registry entries,
// INI file entries, shell links and link groups, ...) in a class registry, so a project reader can create
// them by name. The engine's own classes are registered separately
// (RegisterEngineClasses).
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterSystemClasses(ClassRegistry& registry);

}  // namespace brimwell
