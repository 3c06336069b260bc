// Registers the network location's classes (TNetInstallLocation and the
// abstract base that references name) in a class registry, so a project
// reader can create them by name. Links no user interface.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterNetlocClasses(ClassRegistry& registry);

}  // namespace brimwell
