#include "translate/language_lines.h"

#include <limits>

#include "framework/exception.h"
#include "framework/format.h"

namespace brimwell {
namespace {

bool IsBlank(unsigned char c) { return c <= ' '; }

// Decodes one UTF-8 sequence at text[i]; returns its length and the code
// point, or length 1 and the byte itself for anything malformed.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = b(i);
  std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + len > text.size()) {
    cp = c;
    return 1;
  }
  char32_t value = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      cp = c;
      return 1;
    }
    value = (value << 6) | (b(i + k) & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMin[len] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    cp = c;
    return 1;
  }
  cp = value;
  return len;
}

char32_t FoldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;                       // Latin-1
  if (c >= 0x100 && c <= 0x137) return c | 1;                          // Latin Extended-A
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c == 0x1A0 || c == 0x1AF) return c + 1;                          // Vietnamese O and U with horn
  if (c == 0x386) return 0x3AC;                                        // Greek
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c == 0x3C2) return 0x3C3;                                        // final sigma
  if (c >= 0x400 && c <= 0x40F) return c + 80;                         // Cyrillic
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x1E00 && c <= 0x1EFF) return c | 1;                        // Latin Extended Additional
  return c;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsBlank(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool ParseGlid(std::string_view text, std::int32_t& glid) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && text[0] == '$') {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    // Eight hexadecimal digits are the 32 bits of the number, sign included.
    auto bits = static_cast<std::uint32_t>(value);
    glid = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  const std::uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
  if (value > limit) return false;
  glid = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value)) : static_cast<std::int32_t>(value);
  return true;
}

std::string CutToCharacters(std::string_view text, std::size_t max_chars) {
  std::size_t i = 0;
  for (std::size_t n = 0; n < max_chars && i < text.size(); ++n) {
    char32_t cp;
    i += DecodeUtf8(text, i, cp);
  }
  return std::string(text.substr(0, i));
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca;
    char32_t cb;
    i += DecodeUtf8(a, i, ca);
    j += DecodeUtf8(b, j, cb);
    if (FoldCase(ca) != FoldCase(cb)) return false;
  }
  return i == a.size() && j == b.size();
}

ParsedLanguageLines ParseLanguageLines(const std::vector<std::string>& lines) {
  ParsedLanguageLines out;
  bool in_memo = false;
  LanguageMemoEntry memo;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const int i = static_cast<int>(index);
    std::string_view line = TrimBlanks(lines[index]);
    if (line.empty() || line[0] == '*') continue;
    if (line == "#") {
      if (!in_memo) throw Exception(Format(kEndOfMemoOutsideMemo, {i}));
      out.memos.push_back(std::move(memo));
      memo = LanguageMemoEntry();
      in_memo = false;
      continue;
    }
    if (in_memo) {
      memo.lines.emplace_back(line);
      continue;
    }
    const bool memo_start = line[0] == '#';
    std::string_view body = memo_start ? line.substr(1) : line;
    const std::size_t semicolon = body.find(';');
    if (semicolon == std::string_view::npos || semicolon == 0) {
      throw Exception(Format(kImproperLineFormat, {i, line}));
    }
    std::int32_t glid = 0;
    if (!ParseGlid(body.substr(0, semicolon), glid)) throw Exception(Format(kGlidNotInteger, {i, line}));
    if (memo_start) {
      in_memo = true;
      memo.glid = glid;
      continue;
    }
    std::string_view text = body.substr(semicolon + 1);
    text = text.substr(0, text.find(';'));
    if (TrimBlanks(text).empty()) throw Exception(Format(kImproperLineFormat, {i, line}));
    out.strings.push_back({glid, CutToCharacters(text, kMaxLanguageStringLength)});
  }
  // A memo still open at the end is dropped.
  return out;
}

}  // namespace brimwell
