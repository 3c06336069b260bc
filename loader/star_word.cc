#include "loader/star_word.h"

#include <string_view>

#include "archive/archive_names.h"
#include "framework/text_case.h"

namespace brimwell {

StarWord ParseStarWord(std::span<const char* const> args) {
  if (args.empty() || args[0] == nullptr) return StarWord::kNone;
  std::string_view first = args[0];
  if (first.empty() || first[0] != '*') return StarWord::kNone;
  std::string_view word = first.substr(1);
  if (SameText(word, "QUIET")) return StarWord::kQuiet;
  if (SameText(word, "TODISK")) return StarWord::kToDisk;
  return StarWord::kNone;
}

}  // namespace brimwell
