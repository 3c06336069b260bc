#include "framework/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "framework/exception.h"

namespace brimwell {
namespace {

struct Case {
  const char* format;
  std::vector<FormatArg> args;
  const char* expected;
};

void ExpectAll(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.format, std::span<const FormatArg>(c.args)), c.expected) << c.format;
  }
}

TEST(FormatTest, IntegersWidthPrecisionAndJustification) {
  ExpectAll({
      {"%s has %d files", {"Docs", 3}, "Docs has 3 files"},
      {"100%% done", {}, "100% done"},
      {"[%5d][%-5d][%.5d][%.5d]", {42, 42, 42, -42}, "[   42][42   ][00042][-00042]"},
      {"[%7.4d]", {-42}, "[  -0042]"},
      {"%d", {std::numeric_limits<std::int64_t>::min()}, "-9223372036854775808"},
      {"%d", {std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
      {"%u|%u", {-1, static_cast<long long>(-1)}, "4294967295|18446744073709551615"},
      {"%x|%.4x|%x|%x", {255, 255, -1, static_cast<long long>(-2)},
       "FF|00FF|FFFFFFFF|FFFFFFFFFFFFFFFE"},
      {"%D %X %S", {7, 10, "up"}, "7 A up"},
      {"%05d", {7}, "    7"},  // no zero flag: 05 is a width
  });
}

TEST(FormatTest, ThousandsSeparatorsAndRounding) {
  ExpectAll({
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%n", {-1234567.891}, "-1,234,567.89"},
      {"%n", {123456.0}, "123,456.00"},
      {"%n", {100}, "100.00"},  // integers are accepted by the float conversions
      {"%n", {999.995}, "1,000.00"},
      {"%n", {-999.995}, "-1,000.00"},
      {"%n", {0.125}, "0.13"},
      {"%n", {2.675}, "2.68"},  // rounded on the decimal form, not the binary one
      {"%n", {-0.004}, "0.00"},  // no "-0.00"
      {"%n", {-0.005}, "-0.01"},
      {"%0.0n", {1234.5}, "1,235"},
      {"%0.0n", {-1234.5}, "-1,235"},
      {"%0.0n", {999.5}, "1,000"},
      {"%0.0n", {0.4}, "0"},
      {"%0.0n", {8000000}, "8,000,000"},
      {"%.3n", {1e15}, "1,000,000,000,000,000.000"},
      {"%12.1n|%-12.1n|", {-1234.56, 1234.56}, "    -1,234.6|1,234.6     |"},
  });
}

TEST(FormatTest, FixedScientificAndGeneral) {
  ExpectAll({
      {"%f|%.3f|%.0f", {1, 3.14159, 2.5}, "1.00|3.142|3"},
      {"%.3f", {1e-10}, "0.000"},
      {"%f", {0.1 + 0.2}, "0.30"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e|%.2e|%.3e", {1234.5, 9.99, 0.00012345}, "1.23E+003|1.0E+001|1.23E-004"},
      {"%.1e", {2.5}, "3E+000"},
      {"%e", {0.0}, "0.00000000000000E+000"},
      {"%g|%g|%g|%g", {1234.5, 0.0001, 0.00001, 1e20}, "1234.5|0.0001|1E-5|1E20"},
      {"%g|%g|%g", {0.1 + 0.2, 100, -1.5e-7}, "0.3|100|-1.5E-7"},
      {"%.3g", {1234.5}, "1.23E3"},
      {"%g", {123456789012345678.0}, "1.23456789012346E17"},
      {"%f|%n|%g", {std::nan(""), INFINITY, -INFINITY}, "NAN|INF|-INF"},
  });
}

TEST(FormatTest, StringsCountCharactersNotBytes) {
  ExpectAll({
      {"[%5s][%-5s][%.3s]", {"ab", "ab", "abcdef"}, "[   ab][ab   ][abc]"},
      {"[%4s][%.2s]", {"\xC3\xA4\xC3\xB6", "\xC3\xA4\xC3\xB6\xC3\xBC"},
       "[  \xC3\xA4\xC3\xB6][\xC3\xA4\xC3\xB6]"},
      {"%s%s%s", {std::string("x"), std::string_view("y"), 'z'}, "xyz"},
      {"[%s]", {static_cast<const char*>(nullptr)}, "[]"},
  });
}

TEST(FormatTest, IndexAndStarSpecifiers) {
  ExpectAll({
      {"%1:s %0:s", {"a", "b"}, "b a"},
      // After an index, unindexed specifiers continue from the next argument.
      {"%d %d %0:d %d", {1, 2}, "1 2 1 2"},
      {"%1:-4s|", {"a", "b"}, "b   |"},
      {"%*d|%-*d|%*d|", {5, 42, 4, 7, -4, 7}, "   42|7   |7   |"},
      {"%.*f|%*.*n", {1, 2.25, 12, 1, 1234.56}, "2.3|     1,234.6"},
      {"%s", {"used", "extra arguments are ignored"}, "used"},
  });
}

TEST(FormatTest, MismatchedArgumentsRaise) {
  const std::vector<Case> bad = {
      {"%d", {"text"}, nullptr},        {"%s", {1}, nullptr},
      {"%d", {1.5}, nullptr},           {"%x", {2.0}, nullptr},
      {"%n", {"1"}, nullptr},           {"%q", {1}, nullptr},
      {"50%", {}, nullptr},             {"%5", {1}, nullptr},
      {"%-", {1}, nullptr},             {"%*d", {"5", 1}, nullptr},
      {"%*d", {1.0, 1}, nullptr},       {"%999999999d", {1}, nullptr},
      {"%.*s", {100000000, "x"}, nullptr}, {"%p", {1}, nullptr},
  };
  for (const Case& c : bad) {
    EXPECT_THROW(Format(c.format, std::span<const FormatArg>(c.args)), EFormatError) << c.format;
  }
  try {
    Format("Copied %d of %s", {"three", 4});
    FAIL();
  } catch (const EFormatError& e) {
    EXPECT_STREQ(e.what(), "Format 'Copied %d of %s' invalid or incompatible with argument");
  }
}

TEST(FormatTest, MissingArgumentsRaise) {
  const std::vector<Case> missing = {
      {"%d", {}, nullptr},
      {"%s and %s", {"one"}, nullptr},
      {"%2:s", {"a", "b"}, nullptr},
      {"%*d", {5}, nullptr},
  };
  for (const Case& c : missing) {
    EXPECT_THROW(Format(c.format, std::span<const FormatArg>(c.args)), EFormatError) << c.format;
  }
  try {
    Format("Please insert disk %d", {});
    FAIL();
  } catch (const EFormatError& e) {
    EXPECT_STREQ(e.what(), "No argument for format 'Please insert disk %d'");
  }
}

}  // namespace
}  // namespace brimwell
