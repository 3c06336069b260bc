// The lines of a language table (the content of a language text file) and
// what they mean, read one by one after trimming the blanks around them:
//
//   (empty)          ignored, also inside a memo
//   *...             a comment, ignored, also inside a memo
//   #                ends the memo being read
//   #<number>;...    starts a memo; the lines up to the closing "#" are its
//                    lines (anything after the ";" is ignored)
//   <number>;<text>  a string: the text runs from the first ";" to a second
//                    ";" or the end of the line, blanks after the ";"
//                    included; it is cut to 255 characters
//
// A number is a signed decimal integer or "$" and hexadecimal digits, within
// 32 bits. A memo still open at the end of the lines is dropped. Duplicate
// numbers are allowed; lookups take the first entry in line order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

// A "#" while no memo is open; %d is the line index (from 0).
inline constexpr char kEndOfMemoOutsideMemo[] =
    "Found the end of memo marker # at line %d. Was not in a memo however";
// A line without a number before its ";", without a ";" at all, or a string
// whose text is blank; %d is the line index, %s the trimmed line.
inline constexpr char kImproperLineFormat[] = "The %d'th string (%s) does not have the proper format of GLID;Text";
// A number that is not a 32-bit integer; %d is the line index, %s the
// trimmed line.
inline constexpr char kGlidNotInteger[] = "The %d'th string (%s) does not begin with a whole number GLID";

// The longest text of a string entry, in characters.
inline constexpr std::size_t kMaxLanguageStringLength = 255;

struct LanguageStringEntry {
  std::int32_t glid = 0;
  std::string text;
};

struct LanguageMemoEntry {
  std::int32_t glid = 0;
  std::vector<std::string> lines;
};

struct ParsedLanguageLines {
  std::vector<LanguageStringEntry> strings;  // in line order
  std::vector<LanguageMemoEntry> memos;      // in line order
};

// Parses the lines. Throws Exception with one of the messages above for the
// first line at fault; nothing is returned then.
ParsedLanguageLines ParseLanguageLines(const std::vector<std::string>& lines);

// The text without blanks (spaces, tabs, line-break characters and other
// control characters) at either end.
std::string_view TrimBlanks(std::string_view text);
// The number of a GLID as written in a table ("12", "-3", "$1F"), or false.
bool ParseGlid(std::string_view text, std::int32_t& glid);
// `text` cut to at most `max_chars` characters: UTF-8 sequences are never
// split; bytes that are not UTF-8 count one each.
std::string CutToCharacters(std::string_view text, std::size_t max_chars);
// Compares two texts without regard to letter case: ASCII, Latin-1,
// Latin Extended-A and the Vietnamese letters, Greek and Cyrillic fold to
// lower case; everything else compares as it is.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace brimwell
