// TBrwlLanguage: the sixteen languages of the translator and blUser ("follow
// the Windows user default language"). The ordinals are stored in projects
// and in the registry, so their order is fixed. For each language this file
// knows its table property, its text file, its bitmap resource, the Windows
// primary language identifiers that map to it and the font it asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "framework/persistent.h"

namespace brimwell {

enum class TBrwlLanguage {
  blChineseSimplified = 0,
  blCzech = 1,
  blDanish = 2,
  blEnglish = 3,
  blFrench = 4,
  blGerman = 5,
  blGreek = 6,
  blHebrew = 7,
  blItalian = 8,
  blJapanese = 9,
  blKorean = 10,
  blPolish = 11,
  blPortugese = 12,
  blRussian = 13,
  blSpanish = 14,
  blUser = 15,
  blVietnamese = 16,
};
using enum TBrwlLanguage;

inline const EnumInfo kBrwlLanguageInfo{
    "TBrwlLanguage",
    {"blChineseSimplified", "blCzech", "blDanish", "blEnglish", "blFrench", "blGerman", "blGreek", "blHebrew",
     "blItalian", "blJapanese", "blKorean", "blPolish", "blPortugese", "blRussian", "blSpanish", "blUser",
     "blVietnamese"}};

// What the toolkit knows of one language that has a table.
struct LanguageTraits {
  TBrwlLanguage language;
  std::string_view name;           // "German": the text file is "brwi" + name + ".txt"
  std::string_view property;       // "lgGerman"
  std::string_view text_file;      // "brwiGerman.txt"
  std::string_view bitmap;         // "BM_LANG_GERMAN"
  std::uint16_t lang_id;           // the Windows language identifier it stands for
  std::string_view locale;         // the host locale prefix ("de")
  // Font the translator gives a control for this language.
  int charset;
  std::string_view face;           // stored face name (bytes of the language's code page)
  int min_size;                    // points
  bool right_to_left;
};

// The fifteen tables' languages plus Vietnamese, in table order (ordinals 0
// to 14, then 16).
std::span<const LanguageTraits> AllLanguages();
// The traits of a language with a table; nullptr for blUser or a value
// outside the enumeration.
const LanguageTraits* TraitsOf(TBrwlLanguage language);
// The language of a table name ("German", "german"), of its property
// ("lgGerman") or of its value name ("blGerman"); nullopt for anything else.
std::optional<TBrwlLanguage> LanguageByName(std::string_view name);
// The language a Windows language identifier maps to: its low 10 bits (the
// primary language) select the table; every identifier not listed maps to
// English.
TBrwlLanguage LanguageOfLangId(std::uint16_t lang_id);
// True for ordinals 0 to 16.
bool IsLanguageOrdinal(int ordinal);

}  // namespace brimwell
