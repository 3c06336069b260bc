// Case-insensitive comparison of names: component, class, property and file
// names, registry keys, archive members. Only ASCII letters fold (names are
// ANSI and the fold must not depend on the user's locale).
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `a` and `b` are equal without regard to ASCII case.
constexpr bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// `s` with ASCII letters in upper case.
inline std::string AsciiUpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

}  // namespace brimwell
