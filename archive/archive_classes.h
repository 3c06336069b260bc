// Registers the archive subsystem's component classes (TBrwlCompress and
// TVersionResource) in a class registry, so a project can hold them.
#pragma once

namespace brimwell {

class ClassRegistry;

void RegisterArchiveClasses(ClassRegistry& registry);

}  // namespace brimwell
