#include "system/system_classes.h"

#include "framework/class_registry.h"
#include "system/install_ini_file.h"
#include "system/install_registry.h"

namespace brimwell {

void RegisterSystemClasses(ClassRegistry& registry) {
  // Registry entries.
  registry.Register<TCustomInstallRegistry>();
  registry.Register<TInstallRegistry>();
  // INI file entries.
  registry.Register<TCustomInstallINIFile>();
  registry.Register<TInstallINIFile>();
}

}  // namespace brimwell
