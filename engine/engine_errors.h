// The exceptions the install engine raises. Each message text lives next to
// the code that raises it; these are only the classes.
#pragma once

#include "framework/exception.h"

namespace brimwell {

// The user cancelled the installation.
BRIMWELL_EXCEPTION(EAIUserAbort, EAI);
// Another installation holds the machine's install lock.
BRIMWELL_EXCEPTION(EAIInstallRunning, EAI);
// Meta-variable expansion of a shell link's texts.
BRIMWELL_EXCEPTION(EAICannotExpandContainerDirMV, EAI);
BRIMWELL_EXCEPTION(EAICannotExpandInstallDirMV, EAI);
// The Windows helper routines (version, temporary names, directories).
BRIMWELL_EXCEPTION(EAPIRoutines, EBrimwellAbnormal);
// Per-component errors of the component tree, the path specifiers and the
// install driver.
BRIMWELL_EXCEPTION(IEInstallContainer, IException);
BRIMWELL_EXCEPTION(IEPathSpecifier, IException);
BRIMWELL_EXCEPTION(IEInstall, IException);

// The text of a user abort, also used by the dialogs.
inline constexpr char kInstallationAbortedByUser[] = "Installation aborted by the user";

}  // namespace brimwell
