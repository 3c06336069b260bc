// File dates as the archive keeps them: at the 2-second resolution of DOS
// file times. A date that DOS cannot hold (before 1980 or after 2107) is
// kept as it is rather than refused.
#pragma once

#include <cmath>

#include "framework/date_time.h"

namespace brimwell {

// The earliest and latest dates a host file may be given (years 1..9999).
inline constexpr TDateTime kMinFileDate = -693593.0;  // 0001-01-01
inline constexpr TDateTime kMaxFileDate = 2958466.0;  // 10000-01-01

// True for a date inside years 1..9999 (false for NaN and infinities).
inline bool IsUsableFileDate(TDateTime value) {
  return value >= kMinFileDate && value < kMaxFileDate;
}

inline TDateTime ToDosResolution(TDateTime value) {
  if (!IsUsableFileDate(value)) return value;
  DateTimeParts p = DecodeDateTime(value);
  if (p.year < 1980 || p.year > 2107) return value;
  return DosToDateTime(DateTimeToDos(value));
}

}  // namespace brimwell
