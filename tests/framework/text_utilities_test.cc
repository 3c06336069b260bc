// The small text and byte utilities every library shares: command-line
// splitting, case-insensitive names and little-endian fields.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "framework/coding.h"
#include "framework/command_line_text.h"
#include "framework/text_case.h"

namespace brimwell {
namespace {

TEST(SplitCommandLineTest, BlanksOutsideQuotesSeparateAndQuotesGo) {
  using V = std::vector<std::string>;
  const struct {
    const char* line;
    V args;
  } cases[] = {
      {"  a \t b  ", {"a", "b"}},
      {"a \"\" b", {"a", "", "b"}},
      {"x\"y z\"w", {"xy zw"}},
      {"\"open quote to the end", {"open quote to the end"}},
      {"   ", {}},
      {"", {}},
      {R"(-c "-sC:\My Build"  -eSetup.exe)", {"-c", "-sC:\\My Build", "-eSetup.exe"}},
      {R"("C:\Program Files\x.exe" -r "-s")", {"C:\\Program Files\\x.exe", "-r", "-s"}},
      {"  -r -e\"setup.exe\"  -s\"C:\\My Dir\" \"\" x", {"-r", "-esetup.exe", "-sC:\\My Dir", "", "x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(TextCaseTest, OnlyAsciiLettersFold) {
  EXPECT_TRUE(SameText("SETUP.1", "setup.1"));
  EXPECT_TRUE(SameText("", ""));
  EXPECT_FALSE(SameText("setup.1", "setup.10"));
  EXPECT_FALSE(SameText("a", "b"));
  // '@' and '`' sit next to the letters: they must not fold into them.
  EXPECT_FALSE(SameText("@", "`"));
  EXPECT_FALSE(SameText("[", "{"));
  // Bytes above 127 (ANSI letters) are compared as they are.
  EXPECT_FALSE(SameText("\xC4", "\xE4"));
  EXPECT_EQ(AsciiUpperCase("Program Files\\x\xE4.exe"), "PROGRAM FILES\\X\xE4.EXE");
}

TEST(CodingTest, FieldsRoundTripLittleEndian) {
  std::array<std::uint8_t, 8> b{};
  EncodeFixed32(b.data(), 0x12345678u);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(b[3], 0x12);
  EXPECT_EQ(DecodeFixed32(b.data()), 0x12345678u);
  EncodeFixed16(b.data(), 0xFFFE);
  EXPECT_EQ(DecodeFixed16(b.data()), 0xFFFE);
  EncodeFixed64(b.data(), 0x8000000000000001ull);
  EXPECT_EQ(DecodeFixed64(b.data()), 0x8000000000000001ull);
  EXPECT_EQ(b[7], 0x80);
  // Odd widths, as some trailers use.
  EncodeFixed(b.data(), 0xABCDEF, 3);
  EXPECT_EQ(DecodeFixed(b.data(), 3), 0xABCDEFu);
  std::string text(4, '\0');
  EncodeFixed(text.data(), 0xFFFFFFFFu, 4);
  EXPECT_EQ(DecodeFixed32(text.data()), 0xFFFFFFFFu);  // no sign extension from char
}

}  // namespace
}  // namespace brimwell
