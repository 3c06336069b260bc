// The standard language tables shipped with the toolkit: for each language
// the content of its text file ("brwiGerman.txt", ...), built into the
// library so that an installation never opens a file for them. Every table
// holds the numbers of the standard wizard pages and of the toolkit's own
// messages; a project that states its own lines for a table replaces them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "translate/brwl_language.h"

namespace brimwell {

// The text of the standard file of a language with a table (UTF-8, lines
// ending in LF); empty for blUser.
std::string_view StandardTableText(TBrwlLanguage language);
// The same as lines.
const std::vector<std::string>& StandardTableLines(TBrwlLanguage language);

}  // namespace brimwell
