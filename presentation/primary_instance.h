// The primary instance of each of the three presentation classes: the one
// whose Tag is -1. Writing -1 makes a component primary and resets the Tag
// of the previous one to 0; writing another value on the primary, or
// destroying it, leaves the class without one. The slots live in the engine
// context, so each run (and each test) has its own.
#pragma once

#include <cstdint>

namespace brimwell {

class TControl;

inline constexpr std::int32_t kPrimaryTag = -1;

// The Tag write of a presentation class (call instead of the plain one).
void WritePrimaryTag(TControl& control, std::int32_t tag);
// A presentation component created in the designer while its class has no
// primary becomes the primary.
void ClaimPrimaryInDesigner(TControl& control, bool designing);
// Called by the destructor: the primary that goes leaves none.
void ReleasePrimary(TControl& control);
// The primary of `control`'s class (nullptr: none, or no engine context).
TControl* PrimaryOf(const TControl& control);

}  // namespace brimwell
