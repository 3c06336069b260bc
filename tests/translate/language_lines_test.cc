// The line format of language tables: strings, memos, comments, numbers and
// every error with its line index; the table that owns the lines, its
// re-parse rules and the files it is loaded from.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/exception.h"
#include "tests/translate/translate_fixture.h"
#include "translate/language.h"
#include "translate/language_lines.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

ParsedLanguageLines Parse(std::vector<std::string> lines) { return ParseLanguageLines(lines); }

std::string ParseError(std::vector<std::string> lines) {
  try {
    ParseLanguageLines(lines);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(parsed)";
}

TEST(LanguageLinesTest, StringTextsAreTakenAsWritten) {
  struct Case {
    const char* line;
    std::int32_t glid;
    const char* text;
  };
  for (const Case& c : {Case{"7; Cancel", 7, " Cancel"}, Case{"7;A;B", 7, "A"}, Case{"  5;Next >  ", 5, "Next >"},
                        Case{"$1F;hex", 31, "hex"}, Case{"-3;negative", -3, "negative"},
                        Case{"+4;plus", 4, "plus"}, Case{"$FFFFFFFF;all bits", -1, "all bits"},
                        Case{"-2147483648;lowest", INT32_MIN, "lowest"}, Case{"8;a & b < c", 8, "a & b < c"}}) {
    ParsedLanguageLines parsed = Parse({c.line});
    ASSERT_EQ(parsed.strings.size(), 1u) << c.line;
    EXPECT_EQ(parsed.strings[0].glid, c.glid) << c.line;
    EXPECT_EQ(parsed.strings[0].text, c.text) << c.line;
  }
}

TEST(LanguageLinesTest, MemosCollectTrimmedLinesAndDropBlanksAndComments) {
  ParsedLanguageLines parsed = Parse({"#12;ignored after the semicolon", "  first line  ", "* a comment", "",
                                      "second line", "#", "5;after", "#13;", "never closed"});
  ASSERT_EQ(parsed.memos.size(), 1u);  // the memo still open at the end is dropped
  EXPECT_EQ(parsed.memos[0].glid, 12);
  EXPECT_THAT(parsed.memos[0].lines, ElementsAre("first line", "second line"));
  ASSERT_EQ(parsed.strings.size(), 1u);
  EXPECT_EQ(parsed.strings[0].text, "after");
  // Inside a memo a line that looks like an entry is a line of the memo.
  parsed = Parse({"#1;", "5;Next >", "#"});
  EXPECT_TRUE(parsed.strings.empty());
  EXPECT_THAT(parsed.memos[0].lines, ElementsAre("5;Next >"));
}

TEST(LanguageLinesTest, EveryErrorNamesTheZeroBasedLineIndex) {
  EXPECT_EQ(ParseError({"5;x", "#"}), "Found the end of memo marker # at line 1. Was not in a memo however");
  EXPECT_EQ(ParseError({"", ";text"}), "The 1'th string (;text) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseError({"5;   "}), "The 0'th string (5;) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseError({"5; ;B"}), "The 0'th string (5; ;B) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseError({"* c", "#;"}), "The 1'th string (#;) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseError({"no semicolon"}),
            "The 0'th string (no semicolon) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseError({"1;a", "2;b", "x1;c"}), "The 2'th string (x1;c) does not begin with a whole number GLID");
  EXPECT_EQ(ParseError({"2147483648;too big"}),
            "The 0'th string (2147483648;too big) does not begin with a whole number GLID");
  EXPECT_EQ(ParseError({"5 ;blank before"}),
            "The 0'th string (5 ;blank before) does not begin with a whole number GLID");
  EXPECT_EQ(ParseError({"#x;"}), "The 0'th string (#x;) does not begin with a whole number GLID");
}

TEST(LanguageLinesTest, LongTextsAreCutAtCharactersNotBytes) {
  std::string ascii(300, 'a');
  EXPECT_EQ(Parse({"1;" + ascii}).strings[0].text.size(), 255u);
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xC3\xA4";  // ä
  std::string cut = Parse({"1;" + umlauts}).strings[0].text;
  EXPECT_EQ(cut.size(), 510u);  // 255 characters of two bytes, none split
}

TEST(LanguageLinesTest, CaseIsIgnoredBeyondAscii) {
  EXPECT_TRUE(SameTextIgnoringCase("NEXT >", "next >"));
  EXPECT_TRUE(SameTextIgnoringCase("ÜBER ÄRGER", "über ärger"));
  EXPECT_TRUE(SameTextIgnoringCase("ΆΚΥΡΟ", "άκυρο"));
  EXPECT_TRUE(SameTextIgnoringCase("ОТМЕНА", "отмена"));
  EXPECT_TRUE(SameTextIgnoringCase("ŁÓDŹ", "łódź"));
  EXPECT_TRUE(SameTextIgnoringCase("HỦY BỎ", "hủy bỏ"));
  EXPECT_FALSE(SameTextIgnoringCase("Next >", "Next > "));
  EXPECT_FALSE(SameTextIgnoringCase("Next", "Nexu"));
}

class LanguageTableTest : public ::testing::Test {
 protected:
  TLanguage table_{nullptr, blGerman};
};

TEST_F(LanguageTableTest, ChangesReparseExceptDeletingAndReplacingALine) {
  table_.Strings().Add("5;Weiter >");
  ASSERT_NE(table_.FindString(5), nullptr);
  table_.Strings().Insert(0, "6;Abbrechen");
  EXPECT_EQ(table_.StringEntries()[0]->GLID(), 6);
  table_.Strings().Move(0, 1);
  EXPECT_EQ(table_.StringEntries()[0]->GLID(), 5);
  table_.Strings().Delete(0);  // no re-parse: the entry stays until the next parse
  EXPECT_NE(table_.FindString(5), nullptr);
  table_.ParseLanguage();
  EXPECT_EQ(table_.FindString(5), nullptr);
  table_.Strings().Clear();
  EXPECT_TRUE(table_.StringEntries().empty());
}

TEST_F(LanguageTableTest, AFailedParseLeavesNoEntriesAndNamesTheLanguage) {
  table_.SetStrings({"5;Weiter >", "#12;", "a", "#"});
  ASSERT_EQ(table_.MemoEntries().size(), 1u);
  try {
    table_.SetStrings({"5;Weiter >", "#"});
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "German language table: Found the end of memo marker # at line 1. Was not in a memo however");
  }
  EXPECT_TRUE(table_.StringEntries().empty());
  EXPECT_TRUE(table_.MemoEntries().empty());
  EXPECT_EQ(table_.Lines().size(), 2u);
  // The bulk assignment switched re-parsing back on despite the error.
  EXPECT_TRUE(table_.AutoReparse());
  table_.Strings().Delete(1);
  table_.Strings().Add("6;Abbrechen");
  EXPECT_NE(table_.FindString(6), nullptr);
}

TEST_F(LanguageTableTest, LookupsTakeTheFirstEntryInLineOrder) {
  table_.SetStrings({"5;erste", "5;zweite", "9;Erste", "#7;", "x", "#", "#7;", "y", "#", "#8;", "x", "#"});
  EXPECT_EQ(table_.FindString(5)->Text(), "erste");
  EXPECT_EQ(table_.FindStringByText("ERSTE")->GLID(), 5);
  EXPECT_EQ(table_.FindMemo(7)->Lines(), std::vector<std::string>{"x"});
  EXPECT_EQ(table_.FindMemoByLines({"x"})->GLID(), 7);
  EXPECT_EQ(table_.FindMemoByLines({"X"}), nullptr);  // memos compare exactly
  EXPECT_EQ(table_.FindString(4), nullptr);
}

class LanguageFileTest : public LanguageTableTest {
 protected:
  TempDir dir_;
};

TEST_F(LanguageFileTest, Utf8WithOrWithoutMarkAndUtf16AreRead) {
  const std::string lines = "5;Zur\xC3\xBC" "ck\r\n6;Abbrechen\r\n";
  for (const std::string& bytes : {lines, "\xEF\xBB\xBF" + lines}) {
    table_.Strings().LoadFromFile(dir_.Write("de.txt", bytes));
    EXPECT_EQ(table_.FindString(5)->Text(), "Zur\xC3\xBC" "ck");
  }
  std::string utf16le = "\xFF\xFE";
  std::string utf16be = "\xFE\xFF";
  for (unsigned char c : std::string("5;Zur\xFC" "ck\r\n")) {
    utf16le += static_cast<char>(c);
    utf16le += '\0';
    utf16be += '\0';
    utf16be += static_cast<char>(c);
  }
  for (const std::string& bytes : {utf16le, utf16be}) {
    table_.Strings().LoadFromFile(dir_.Write("de16.txt", bytes));
    ASSERT_EQ(table_.Lines().size(), 1u);
    EXPECT_EQ(table_.FindString(5)->Text(), "Zur\xC3\xBC" "ck");
  }
}

TEST_F(LanguageFileTest, LegacyCodePageTextIsReadInTheLanguagesCodePage) {
  table_.Strings().LoadFromFile(dir_.Write("de.txt", "5;Zur\xFC" "ck\n"));  // Windows-1252
  EXPECT_EQ(table_.FindString(5)->Text(), "Zur\xC3\xBC" "ck");
  TLanguage russian(nullptr, blRussian);
  russian.Strings().LoadFromFile(dir_.Write("ru.txt", "6;\xCE\xF2\xEC\xE5\xED\xE0\n"));  // Windows-1251
  EXPECT_EQ(russian.FindString(6)->Text(), "Отмена");
}

TEST_F(LanguageFileTest, UndecodableBytesAreRefusedWithoutTouchingTheTable) {
  table_.SetStrings({"5;Weiter >"});
  // A NUL byte (UTF-16 without a mark) and a byte Windows-1252 leaves undefined.
  for (const std::string& bytes : {std::string("5\0;\0x\0", 6), std::string("5;\x81\n")}) {
    try {
      table_.Strings().LoadFromFile(dir_.Write("bad.txt", bytes));
      FAIL() << "read";
    } catch (const EConvertError& e) {
      EXPECT_THAT(e.Message(), HasSubstr("bad.txt is not text of the German language"));
    }
    EXPECT_EQ(table_.Lines(), std::vector<std::string>{"5;Weiter >"});
    EXPECT_NE(table_.FindString(5), nullptr);
  }
  EXPECT_THROW(table_.Strings().LoadFromFile((dir_.path() / "missing.txt").string()), EStreamError);
}

}  // namespace
}  // namespace brimwell::testing
