// The standard tables shipped with the toolkit: every file parses, holds
// every number of the standard pages and every number of the English table,
// keeps the English text's placeholders, fits the 255-character limit, and
// is the table a new translator starts with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "tests/translate/translate_fixture.h"
#include "translate/language.h"
#include "translate/language_lines.h"
#include "translate/standard_tables.h"
#include "translate/translator.h"

namespace brimwell::testing {
namespace {

// The numbers the standard wizard pages use.
constexpr std::int32_t kStandardGlids[] = {2,  3,  4,  5,  6,  8,  10, 11, 12, 14, 15, 16, 18, 20, 22, 24,
                                           26, 28, 29, 38, 41, 42, 43, 45, 46, 47, 48, 49, 52, 59, 60, 72};

std::string TableFile(const LanguageTraits& t) {
  return (std::filesystem::path(BRIMWELL_SOURCE_DIR) / "translate" / "tables" / std::string(t.text_file)).string();
}

// The format specifiers of a text, in order ("%d", "%s").
std::vector<std::string> Placeholders(const std::string& text) {
  std::vector<std::string> out;
  static const std::regex spec("%[-0-9.:*]*[a-zA-Z%]");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), spec); it != std::sregex_iterator(); ++it) {
    out.push_back(it->str());
  }
  return out;
}

TEST(StandardTablesTest, EveryFileParsesAndMatchesTheEnglishTable) {
  TLanguage english(nullptr, blEnglish);
  english.Strings().LoadFromFile(TableFile(*TraitsOf(blEnglish)));
  for (std::int32_t glid : kStandardGlids) EXPECT_NE(english.FindString(glid), nullptr) << glid;

  for (const LanguageTraits& t : AllLanguages()) {
    SCOPED_TRACE(std::string(t.name));
    TLanguage table(nullptr, t.language);
    ASSERT_NO_THROW(table.Strings().LoadFromFile(TableFile(t)));
    EXPECT_EQ(table.Lines(), StandardTableLines(t.language)) << "the built-in table differs from the file";
    std::set<std::int32_t> seen;
    for (const auto& entry : table.StringEntries()) {
      EXPECT_TRUE(seen.insert(entry->GLID()).second) << "GLID " << entry->GLID() << " twice";
      const TLanguageString* source = english.FindString(entry->GLID());
      ASSERT_NE(source, nullptr) << "GLID " << entry->GLID() << " is not in the English table";
      EXPECT_EQ(Placeholders(entry->Text()), Placeholders(source->Text())) << "GLID " << entry->GLID();
      EXPECT_EQ(entry->Text(), TrimBlanks(entry->Text())) << "GLID " << entry->GLID();
    }
    EXPECT_EQ(seen.size(), english.StringEntries().size()) << "numbers are missing";
    // No text reached the limit, where it would have been cut.
    for (const std::string& line : table.Lines()) {
      if (line.empty() || line[0] == '*') continue;
      std::string text = line.substr(line.find(';') + 1);
      EXPECT_EQ(CutToCharacters(text, kMaxLanguageStringLength), text) << line;
    }
  }
}

TEST(StandardTablesTest, TheStandardPagesTextsAreTheEnglishEntries) {
  const std::map<std::int32_t, std::string> page_texts = {
      {4, "< Previous"}, {5, "Next >"}, {6, "Cancel"}, {26, "&Browse"}, {48, "&Browse..."}, {72, "Finish"},
      {45, "Please insert disk number %d"},
      {52, "Several components could not be installed on your system because they were in use. For the "
           "installation to proceed, you will need to reboot your computer. If you decide not to reboot now, "
           "the software will probably not work until you do reboot."}};
  TLanguage english(nullptr, blEnglish);
  english.SetStrings(StandardTableLines(blEnglish));
  for (const auto& [glid, text] : page_texts) EXPECT_EQ(english.FindString(glid)->Text(), text);
}

TEST(StandardTablesTest, ANewTranslatorTranslatesEveryStandardTextIntoEachLanguage) {
  SiteRoot root;
  auto* translator = Create<TTranslator>(&root);
  TLanguage& english = translator->Table(blEnglish);
  for (const LanguageTraits& t : AllLanguages()) {
    translator->SetTranslateIntoLanguage(t.language);
    int differing = 0;
    for (std::int32_t glid : kStandardGlids) {
      std::string english_text = english.FindString(glid)->Text();
      std::string translated = translator->TranslateText(blEnglish, english_text);
      EXPECT_EQ(translated, translator->Table(t.language).FindString(glid)->Text());
      differing += translated != english_text;
    }
    if (t.language != blEnglish) {
      EXPECT_GT(differing, 25) << t.name << " looks untranslated";
    }
  }
}

TEST(StandardTablesTest, OnlyHebrewIsWrittenRightToLeft) {
  for (const LanguageTraits& t : AllLanguages()) EXPECT_EQ(t.right_to_left, t.language == blHebrew) << t.name;
  EXPECT_EQ(LanguageByName("hebrew"), blHebrew);
  EXPECT_EQ(LanguageByName("lgGerman"), blGerman);
  EXPECT_EQ(LanguageByName("blVietnamese"), blVietnamese);
  EXPECT_EQ(LanguageByName("User"), std::nullopt);
  EXPECT_EQ(LanguageOfLangId(0x0409), blEnglish);
  EXPECT_EQ(LanguageOfLangId(0x0C0A), blSpanish);
  EXPECT_EQ(LanguageOfLangId(0x0404), blChineseSimplified);  // every Chinese maps to the one table
  EXPECT_EQ(LanguageOfLangId(0x042A), blVietnamese);
  EXPECT_EQ(LanguageOfLangId(0x041D), blEnglish);  // Swedish has no table
}

}  // namespace
}  // namespace brimwell::testing
