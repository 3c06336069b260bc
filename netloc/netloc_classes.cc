#include "netloc/netloc_classes.h"

#include "framework/class_registry.h"
#include "netloc/net_install_location.h"

namespace brimwell {

void RegisterNetlocClasses(ClassRegistry& registry) {
  registry.Register<TCustomNetInstallLocation>();
  registry.Register<TNetInstallLocation>();
}

}  // namespace brimwell
