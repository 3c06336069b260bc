// Install types: the kinds of installation a product offers (Full, Default,
// Compact, Custom) and the "always" marker, and the set of them that each
// install component is installed for.
#pragma once

#include "framework/persistent.h"

namespace brimwell {

enum class TInstallType { itFull, itDefault, itCompact, itAlways, itCustom };
using TInstallTypeSet = EnumSet<TInstallType>;

inline const EnumInfo kInstallTypeInfo{"TInstallType",
                                       {"itFull", "itDefault", "itCompact", "itAlways", "itCustom"}};

// The value stored when `requested` is written over `current`: an empty set,
// or one that adds itAlways to a value that lacked it, becomes exactly
// [itAlways]; otherwise itAlways is dropped whenever another member is
// present. The result is [itAlways] or a non-empty set without itAlways.
TInstallTypeSet NormalizeInstallTypes(TInstallTypeSet current, TInstallTypeSet requested);

}  // namespace brimwell
