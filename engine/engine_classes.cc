#include "engine/engine_classes.h"

#include "archive/archive_classes.h"
#include "engine/custom_install_file.h"
#include "engine/grab_call.h"
#include "engine/install.h"
#include "engine/install_file_group.h"
#include "engine/standard_path_specifiers.h"
#include "framework/class_registry.h"
#include "netloc/netloc_classes.h"
#include "translate/translate_classes.h"

namespace brimwell {

void RegisterEngineClasses(ClassRegistry& registry) {
  // The archive component and the version reader may stand in a project too.
  RegisterArchiveClasses(registry);
  // So does the net install location (no user interface is linked for it).
  RegisterNetlocClasses(registry);
  // So are the translator and the translating controls.
  RegisterTranslateClasses(registry);
  // Abstract bases, named by references.
  registry.Register<TInstallContainer>();
  registry.Register<TInstallObject>();
  registry.Register<TFileRelated>();
  registry.Register<TFileContainer>();
  registry.Register<TCustomInstall>();
  registry.Register<TCustomInstallFile>();
  registry.Register<TCustomPathSpecifier>();
  registry.Register<TStandardPathSpecifier>();
  // Components a project holds.
  registry.Register<TInstall>();
  registry.Register<TInstallFile>();
  registry.Register<TUninstallEXE>();
  registry.Register<TInstallFileGroup>();
  registry.Register<TGrabCall>();
  registry.Register<TPathSpecifier>();
  registry.Register<TpsBDEDLL>();
  registry.Register<TpsCommonFiles>();
  registry.Register<TpsContainerArchiveFile>();
  registry.Register<TpsContainerDestDir>();
  registry.Register<TpsDesktopMenu>();
  registry.Register<TpsInstallSource>();
  registry.Register<TpsMainInstall>();
  registry.Register<TpsProgramFiles>();
  registry.Register<TpsProgramMenu>();
  registry.Register<TpsStartMenu>();
  registry.Register<TpsStartupMenu>();
  registry.Register<TpsSystem>();
  registry.Register<TpsMainArchiveFile>();
  registry.Register<TpsWindow>();
}

}  // namespace brimwell
