// One published property's value in the form the project file writes it.
// The project writer and the generated class reference share it, so the
// defaults the reference shows are spelled as a project would hold them.
#pragma once

#include <nlohmann/json.hpp>

#include "framework/persistent.h"

namespace brimwell {

// What to make of a reference to a component that has no name: the writer
// cannot store it and refuses, the reference shows no default.
enum class UnnamedReference { kRefuse, kNull };

// The JSON form of `v`, a value of `p`; null for kinds without a scalar
// form. Throws EProjectError for an unnamed reference under kRefuse.
nlohmann::ordered_json PropertyValueJson(const PropertyInfo& p, const PropertyValue& v, UnnamedReference unnamed);

}  // namespace brimwell
