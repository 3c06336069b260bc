// Without Qt the uninstall program reports in text only.
#include "apps/uninstall/uninstall_ui.h"

namespace brimwell {

std::unique_ptr<UninstallUi> MakeUninstallUi(bool, const char*) { return MakeTextUninstallUi(); }

}  // namespace brimwell
