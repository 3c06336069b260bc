// Registers the engine's component classes (the driver, file groups, the
// path specifiers, TGrabCall and the abstract bases that references name)
// in a class registry, so a project reader can create them by name.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterEngineClasses(ClassRegistry& registry);

}  // namespace brimwell
