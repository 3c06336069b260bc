// Date-time values as the engine keeps them: a double counting days since
// 30 December 1899 (local time), the time of day as the fraction; and the
// packed DOS date-time (2-second resolution) stored in archive headers.
#pragma once

#include <cstdint>
#include <ctime>

namespace brimwell {

using TDateTime = double;

// Broken-down local date and time. Month and day are 1-based.
struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Days since 30 December 1899 for a date; throws EConvertError for an
// impossible date (month 13, 30 February, year outside 1..9999).
TDateTime EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(TDateTime value);

// Host time (seconds since the Unix epoch, UTC) to local date-time and back,
// using the host's time-zone rules.
TDateTime UnixToDateTime(std::time_t t);
std::time_t DateTimeToUnix(TDateTime value);
TDateTime Now();

// DOS date-time: high word date (years since 1980 << 9 | month << 5 | day),
// low word time (hour << 11 | minute << 5 | seconds / 2).
std::uint32_t DateTimeToDos(TDateTime value);
// Throws EConvertError when the packed value is not a valid date.
TDateTime DosToDateTime(std::uint32_t dos);
// Local host time to DOS and back; odd seconds round down.
std::uint32_t UnixToDos(std::time_t t);
std::time_t DosToUnix(std::uint32_t dos);

}  // namespace brimwell
