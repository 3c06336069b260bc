#include "archive/archive_classes.h"

#include "archive/brwl_compress.h"
#include "archive/version_resource.h"
#include "framework/class_registry.h"

namespace brimwell {

void RegisterArchiveClasses(ClassRegistry& registry) {
  registry.Register<TBrwlCompress>();
  registry.Register<TVersionResource>();
}

}  // namespace brimwell
