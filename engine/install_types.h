// Install types: the kinds of installation a product offers (Full, Default,
// Compact, Custom) and the "always" marker, and the set of them that each
// install component is installed for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Whether a component with `include` and `types` is installed when the run's
// type is `current`: never when left out; always under itAlways and
// itCustom; otherwise when `types` holds itAlways or `current`.
bool SelectedFor(bool include, TInstallTypeSet types, TInstallType current);

// The type a run starts with when the driver offers `offered`: the first of
// itDefault, itCompact, itFull, itCustom found there, else itAlways.
TInstallType StartInstallType(TInstallTypeSet offered);

// The types a product with driver types `offered` lets the user choose, in
// the order of the start-up choice; [itAlways] alone offers itAlways.
std::vector<TInstallType> OfferedInstallTypes(TInstallTypeSet offered);

// "itFull", "itDefault", ...
std::string InstallTypeName(TInstallType type);
// A type by its name ("itCompact") or by the word the user sees ("Compact",
// "Typical" for itDefault, "Full", "Custom"; "Default" and "Always" too),
// ignoring case; nullopt for anything else.
std::optional<TInstallType> ParseInstallType(std::string_view text);

}  // namespace brimwell
