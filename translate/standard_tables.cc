#include "translate/standard_tables.h"

#include <array>

#include "framework/string_list.h"

namespace brimwell {

// Generated from translate/tables/*.txt, in table order (see brwl_language.cc).
extern const std::string_view kStandardTableTexts[16];

namespace {

int TableIndex(TBrwlLanguage language) {
  const auto languages = AllLanguages();
  for (std::size_t i = 0; i < languages.size(); ++i) {
    if (languages[i].language == language) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string_view StandardTableText(TBrwlLanguage language) {
  int index = TableIndex(language);
  return index < 0 ? std::string_view() : kStandardTableTexts[index];
}

const std::vector<std::string>& StandardTableLines(TBrwlLanguage language) {
  static const std::array<std::vector<std::string>, 16> lines = [] {
    std::array<std::vector<std::string>, 16> all;
    for (std::size_t i = 0; i < all.size(); ++i) {
      TStringList list;
      list.SetText(kStandardTableTexts[i]);
      all[i] = list.Lines();
    }
    return all;
  }();
  static const std::vector<std::string> none;
  int index = TableIndex(language);
  return index < 0 ? none : lines[static_cast<std::size_t>(index)];
}

}  // namespace brimwell
