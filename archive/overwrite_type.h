// What to do when a file to be written exists already: replace it always,
// never, when the new one has a newer version, a newer date, or a newer
// version and then a newer date (TVersionResource::IsFileNewer decides).
#pragma once

#include "framework/persistent.h"

namespace brimwell {

enum TOverwriteType { owAlways, owNever, owVersion, owDate, owVersionDate };

inline const EnumInfo kOverwriteTypeInfo{
    "TOverwriteType", {"owAlways", "owNever", "owVersion", "owDate", "owVersionDate"}};

// The answers of the newer-file tests.
enum class NewerFileAnswer {
  kCannotTell = 0,
  kSame = 1,
  kReplace = 2,
  kKeep = 3,
};

}  // namespace brimwell
