// The exceptions of the system-changes components: per-component errors of
// the registry and INI components and their entry collections. Each message
// text lives next to the code that raises it.
#pragma once

#include "framework/exception.h"

namespace brimwell {

BRIMWELL_EXCEPTION(IEInstallRegistry, IException);
BRIMWELL_EXCEPTION(IERegistryEntry, IException);
BRIMWELL_EXCEPTION(IERegistryEntries, IException);
BRIMWELL_EXCEPTION(IEInstallINIFile, IException);
BRIMWELL_EXCEPTION(IEINIEntry, IException);
BRIMWELL_EXCEPTION(IEINIEntries, IException);

}  // namespace brimwell
