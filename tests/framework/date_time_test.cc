#include "framework/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/exception.h"

namespace brimwell {
namespace {

class DateTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A fixed zone with daylight saving, so local-time conversions are
    // checked the same on every machine.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
};

TEST_F(DateTimeTest, EpochAndKnownDates) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 3, 1, 12}), 36586.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6}), -1.25);
}

TEST_F(DateTimeTest, DecodeAtDayBoundaries) {
  DateTimeParts p = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
  EXPECT_EQ(p.year, 2024);
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.second, 59);
  EXPECT_EQ(p.millisecond, 999);
  // A fraction that rounds to a whole day rolls over to the next day.
  p = DecodeDateTime(36586.0 + 0.99999999999);
  EXPECT_EQ(p.day, 2);
  EXPECT_EQ(p.hour, 0);
}

TEST_F(DateTimeTest, RejectsImpossibleDates) {
  EXPECT_THROW(EncodeDateTime({2023, 2, 29}), EConvertError);
  EXPECT_THROW(EncodeDateTime({2023, 13, 1}), EConvertError);
  EXPECT_THROW(EncodeDateTime({2023, 1, 1, 24}), EConvertError);
  EXPECT_THROW(DosToDateTime(0), EConvertError);  // month 0
}

TEST_F(DateTimeTest, DosRoundTripTruncatesToTwoSeconds) {
  TDateTime t = EncodeDateTime({2001, 9, 8, 7, 6, 5});
  std::uint32_t dos = DateTimeToDos(t);
  DateTimeParts p = DecodeDateTime(DosToDateTime(dos));
  EXPECT_EQ(p.second, 4);
  EXPECT_EQ(p.minute, 6);
  EXPECT_EQ(dos >> 16, ((2001u - 1980) << 9) | (9u << 5) | 8u);
  EXPECT_EQ(DateTimeToDos(EncodeDateTime({2001, 9, 8, 7, 6, 4})), dos);
  EXPECT_EQ(DateTimeToDos(EncodeDateTime({2001, 9, 8, 7, 6, 6})), dos + 1);
  EXPECT_THROW(DateTimeToDos(EncodeDateTime({1979, 12, 31})), EConvertError);
}

TEST_F(DateTimeTest, HostTimesAreLocal) {
  // 2021-07-01 10:00:00 UTC is 12:00 in Berlin (summer time).
  DateTimeParts p = DecodeDateTime(UnixToDateTime(1625133600));
  EXPECT_EQ(p.hour, 12);
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1625133600)), 1625133600);
  EXPECT_EQ(DosToUnix(UnixToDos(1625133601)), 1625133600);
}

// Converting local times to host times agrees with the C library's own
// conversion on every minute around both changes of the clocks, and follows
// a change of the zone.
TEST_F(DateTimeTest, LocalTimesConvertExactlyAroundClockChanges) {
  auto reference = [](const DateTimeParts& p) {
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = -1;
    return mktime(&tm);
  };
  for (int day : {28, 31}) {  // 2021-03-28 and 2021-10-31 in Berlin
    const int month = day == 28 ? 3 : 10;
    for (int hour = 0; hour < 5; ++hour) {
      for (int minute = 0; minute < 60; minute += 7) {
        const DateTimeParts p{2021, month, day, hour, minute, 13, 0};
        EXPECT_EQ(DateTimeToUnix(EncodeDateTime(p)), reference(p))
            << month << "-" << day << " " << hour << ":" << minute;
      }
    }
  }
  const TDateTime noon = EncodeDateTime({2021, 7, 1, 12, 0, 0, 0});
  EXPECT_EQ(DateTimeToUnix(noon), 1625133600);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(DateTimeToUnix(noon), 1625140800);
}

}  // namespace
}  // namespace brimwell
