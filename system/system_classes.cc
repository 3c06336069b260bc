#include "system/system_classes.h"

#include "framework/class_registry.h"
#include "system/custom_install_shell_link.h"
#include "system/custom_shell_link_group.h"
#include "system/install_ini_file.h"
#include "system/install_registry.h"
#include "system/program_manager.h"
#include "system/ps_object_link.h"

namespace brimwell {

void RegisterSystemClasses(ClassRegistry& registry) {
  // Registry entries.
  registry.Register<TCustomInstallRegistry>();
  registry.Register<TInstallRegistry>();
  // INI file entries.
  registry.Register<TCustomInstallINIFile>();
  registry.Register<TInstallINIFile>();
  // Shell links and link groups, the Program Manager client.
  registry.Register<TCustomShellLinkGroup>();
  registry.Register<TMainLinkGroup>();
  registry.Register<TSubLinkGroup>();
  registry.Register<TCustomInstallShellLink>();
  registry.Register<TInstallSubLink>();
  registry.Register<TpsObjectLink>();
  registry.Register<TProgramManager>();
}

}  // namespace brimwell
