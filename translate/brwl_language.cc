#include "translate/brwl_language.h"

#include <array>

namespace brimwell {
namespace {

// Face names as Windows stores them, in the code page of their character
// set: the Chinese one is three Big5 characters and the lead byte of a
// fourth, cut short; the Japanese one is Shift-JIS, the Korean one CP949.
constexpr std::string_view kChineseFace = "\xB7\x73\xB2\xD3\xA9\xFA\xC5";
constexpr std::string_view kJapaneseFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
constexpr std::string_view kKoreanFace = "\xB9\xD9\xC5\xC1";

constexpr std::array<LanguageTraits, 16> kLanguages{{
    {blChineseSimplified, "ChineseSimplified", "lgChineseSimplified", "brwiChineseSimplified.txt",
     "BM_LANG_SIMPCHINESE", 0x0804, "zh", 134, kChineseFace, 9, false},
    {blCzech, "Czech", "lgCzech", "brwiCzech.txt", "BM_LANG_CZECH", 0x0405, "cs", 238, "Arial", 8, false},
    {blDanish, "Danish", "lgDanish", "brwiDanish.txt", "BM_LANG_DANISH", 0x0406, "da", 0, "Arial", 8, false},
    {blEnglish, "English", "lgEnglish", "brwiEnglish.txt", "BM_LANG_ENGLISH", 0x0409, "en", 0, "Arial", 8, false},
    {blFrench, "French", "lgFrench", "brwiFrench.txt", "BM_LANG_FRENCH", 0x040C, "fr", 0, "Arial", 8, false},
    {blGerman, "German", "lgGerman", "brwiGerman.txt", "BM_LANG_GERMAN", 0x0407, "de", 0, "MS Sans Serif", 8,
     false},
    {blGreek, "Greek", "lgGreek", "brwiGreek.txt", "BM_LANG_GREEK", 0x0408, "el", 0, "SGreek", 8, false},
    // Hebrew: Miriam, a sans face Windows offers for Hebrew, at 9 points
    // at least, since Hebrew letters at 8 points lose their dots.
    {blHebrew, "Hebrew", "lgHebrew", "brwiHebrew.txt", "BM_LANG_HEBREW", 0x040D, "he", 177, "Miriam", 9, true},
    {blItalian, "Italian", "lgItalian", "brwiItalian.txt", "BM_LANG_ITALIAN", 0x0410, "it", 0, "Arial", 8, false},
    {blJapanese, "Japanese", "lgJapanese", "brwiJapanese.txt", "BM_LANG_JAPANESE", 0x0411, "ja", 128, kJapaneseFace,
     9, false},
    {blKorean, "Korean", "lgKorean", "brwiKorean.txt", "BM_LANG_KOREAN", 0x0412, "ko", 129, kKoreanFace, 9, false},
    {blPolish, "Polish", "lgPolish", "brwiPolish.txt", "BM_LANG_POLISH", 0x0415, "pl", 238, "Arial", 8, false},
    {blPortugese, "Portugese", "lgPortugese", "brwiPortugese.txt", "BM_LANG_PORTUGESE", 0x0816, "pt", 238, "Arial",
     8, false},
    {blRussian, "Russian", "lgRussian", "brwiRussian.txt", "BM_LANG_RUSSIAN", 0x0419, "ru", 204, "Arial", 8, false},
    {blSpanish, "Spanish", "lgSpanish", "brwiSpanish.txt", "BM_LANG_SPANISH", 0x0C0A, "es", 0, "Arial", 8, false},
    {blVietnamese, "Vietnamese", "lgVietnamese", "brwiVietnamese.txt", "BM_LANG_VIETNAMESE", 0x042A, "vi", 163,
     "Arial", 8, false},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::span<const LanguageTraits> AllLanguages() { return kLanguages; }

const LanguageTraits* TraitsOf(TBrwlLanguage language) {
  for (const LanguageTraits& t : kLanguages) {
    if (t.language == language) return &t;
  }
  return nullptr;
}

std::optional<TBrwlLanguage> LanguageByName(std::string_view name) {
  for (const LanguageTraits& t : kLanguages) {
    if (EqualNoCase(name, t.name) || EqualNoCase(name, t.property) ||
        EqualNoCase(name, kBrwlLanguageInfo.names[static_cast<std::size_t>(t.language)])) {
      return t.language;
    }
  }
  return std::nullopt;
}

TBrwlLanguage LanguageOfLangId(std::uint16_t lang_id) {
  const unsigned primary = lang_id & 0x3FFu;
  for (const LanguageTraits& t : kLanguages) {
    if ((t.lang_id & 0x3FFu) == primary) return t.language;
  }
  return blEnglish;
}

bool IsLanguageOrdinal(int ordinal) { return ordinal >= 0 && ordinal <= static_cast<int>(blVietnamese); }

}  // namespace brimwell
