// Registers the engine's component classes (the driver, file groups, the
// path specifiers, TGrabCall, the abstract bases that references name, the
// archive, net location and translation classes) in a class registry, so a
// project reader can create them by name.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterEngineClasses(ClassRegistry& registry);

}  // namespace brimwell
