// The entry points of build mode (-b) and of the transfer to floppies (-f).
// They catch every error and show it in a message box, as mode entry points
// do. Building distributables is not part of this engine yet: both report so.
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install.h"
#include "framework/application.h"

namespace brimwell {

void TCustomInstall::BuildDistributables() { Raise<IEInstall>(Context(), kModeNotAvailable); }

void TCustomInstall::BuildFromInf() {
  try {
    BuildDistributables();
  } catch (const std::exception& e) {
    Context()->SetExitStatus(kExitRunFailed);
    ShowException(e);
  }
  Context()->App().Terminate();
}

void TCustomInstall::TransferToFloppies(const std::string& /*drive*/) {
  try {
    Raise<IEInstall>(Context(), kModeNotAvailable);
  } catch (const std::exception& e) {
    Context()->SetExitStatus(kExitRunFailed);
    ShowException(e);
  }
  Context()->App().Terminate();
}

}  // namespace brimwell
