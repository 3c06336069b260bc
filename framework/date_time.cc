#include "framework/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include "framework/exception.h"
#include "host/host_env.h"

namespace brimwell {
namespace {

// Day number of 30 December 1899 counted from 1 January 1970.
constexpr std::int64_t kDelphiEpochUnixDays = -25569;
constexpr double kMillisecondsPerDay = 86400000.0;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
  using namespace std::chrono;
  return sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}}
      .time_since_epoch()
      .count();
}

}  // namespace

TDateTime EncodeDateTime(const DateTimeParts& p) {
  if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 ||
      p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59 ||
      p.millisecond < 0 || p.millisecond > 999) {
    throw EConvertError("Invalid argument to date encode");
  }
  double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kDelphiEpochUnixDays);
  double frac = (((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond) /
                kMillisecondsPerDay;
  // Before the epoch the fraction still counts forward within the day, which
  // a negative day number expresses by subtracting it.
  return days >= 0 ? days + frac : days - frac;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  double whole = std::trunc(value);
  double frac = std::fabs(value - whole);
  auto ms = static_cast<std::int64_t>(std::llround(frac * kMillisecondsPerDay));
  std::int64_t days = static_cast<std::int64_t>(whole);
  if (ms >= static_cast<std::int64_t>(kMillisecondsPerDay)) {  // rounding up to midnight
    ms -= static_cast<std::int64_t>(kMillisecondsPerDay);
    days += value >= 0 ? 1 : -1;
  }
  using namespace std::chrono;
  year_month_day ymd{sys_days{std::chrono::days{days + kDelphiEpochUnixDays}}};
  DateTimeParts p;
  p.year = static_cast<int>(ymd.year());
  p.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  p.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  p.millisecond = static_cast<int>(ms % 1000);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.hour = static_cast<int>(ms / 3600000);
  return p;
}

TDateTime UnixToDateTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return EncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                         tm.tm_sec > 59 ? 59 : tm.tm_sec, 0});
}

namespace {

std::time_t LocalToUnix(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return mktime(&tm);
}

}  // namespace

std::time_t DateTimeToUnix(TDateTime value) {
  DateTimeParts p = DecodeDateTime(value);
  // mktime reads the time zone file's state on every call and holds a lock
  // of the whole process while it works; the files of one install mostly
  // share an hour. So each thread keeps the start of the last hour it
  // converted whose last second lies 3599 seconds after its first (no
  // change of the clocks within it), and adds minutes and seconds to it.
  // A change of the TZ variable starts afresh.
  struct HourStart {
    int year = 0, month = 0, day = 0, hour = -1;
    std::time_t start = 0;
    std::string zone;
  };
  thread_local HourStart last;
  const std::string zone = host::Env::Default().GetEnv("TZ").value_or("\n");
  if (p.year != last.year || p.month != last.month || p.day != last.day || p.hour != last.hour ||
      zone != last.zone) {
    const std::time_t start = LocalToUnix(p.year, p.month, p.day, p.hour, 0, 0);
    if (LocalToUnix(p.year, p.month, p.day, p.hour, 59, 59) - start != 3599 || start == -1) {
      return LocalToUnix(p.year, p.month, p.day, p.hour, p.minute, p.second);
    }
    last = {p.year, p.month, p.day, p.hour, start, zone};
  }
  return last.start + p.minute * 60 + p.second;
}

TDateTime Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  DateTimeParts p = DecodeDateTime(UnixToDateTime(t));
  p.millisecond = static_cast<int>(ms);
  return EncodeDateTime(p);
}

std::uint32_t DateTimeToDos(TDateTime value) {
  DateTimeParts p = DecodeDateTime(value);
  if (p.year < 1980 || p.year > 2107) {
    throw EConvertError("Date " + std::to_string(p.year) + " cannot be stored as a DOS date");
  }
  std::uint32_t date = static_cast<std::uint32_t>(((p.year - 1980) << 9) | (p.month << 5) | p.day);
  std::uint32_t time = static_cast<std::uint32_t>((p.hour << 11) | (p.minute << 5) | (p.second / 2));
  return date << 16 | time;
}

TDateTime DosToDateTime(std::uint32_t dos) {
  DateTimeParts p;
  std::uint32_t date = dos >> 16, time = dos & 0xFFFF;
  p.year = static_cast<int>((date >> 9) + 1980);
  p.month = static_cast<int>((date >> 5) & 0x0F);
  p.day = static_cast<int>(date & 0x1F);
  p.hour = static_cast<int>(time >> 11);
  p.minute = static_cast<int>((time >> 5) & 0x3F);
  p.second = static_cast<int>((time & 0x1F) * 2);
  return EncodeDateTime(p);  // throws EConvertError for a bad packed value
}

std::uint32_t UnixToDos(std::time_t t) { return DateTimeToDos(UnixToDateTime(t)); }
std::time_t DosToUnix(std::uint32_t dos) { return DateTimeToUnix(DosToDateTime(dos)); }

}  // namespace brimwell
