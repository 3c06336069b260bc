// Exceptions raised by the platform services. Expected failures (a missing
// file, a file in use, a missing registry value) are results, not exceptions;
// these classes are for input the services cannot work with at all.
#pragma once

#include "framework/exception.h"

namespace brimwell {

// Root of the platform's exceptions.
BRIMWELL_EXCEPTION(EPlatformError, Exception);
// A Windows path that names no host path: an unknown drive letter, a UNC
// path, a name Windows would refuse.
BRIMWELL_EXCEPTION(EPathError, EPlatformError);
// The prefix directory or its configuration cannot be used.
BRIMWELL_EXCEPTION(EPrefixError, EPlatformError);
// A registry value read as a type it does not have, or a malformed key path.
BRIMWELL_EXCEPTION(ERegistryException, EPlatformError);
// The registry store (registry.db) cannot be opened, read or written: a
// corrupt or unreadable file, a full disk. The message names the file.
BRIMWELL_EXCEPTION(ERegistryStoreError, EPlatformError);
// An INI file that is not text, or a registry text file that cannot be read.
BRIMWELL_EXCEPTION(EProfileError, EPlatformError);
BRIMWELL_EXCEPTION(ERegistryTextError, EPlatformError);

}  // namespace brimwell
