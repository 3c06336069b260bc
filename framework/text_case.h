// Case-insensitive comparison of names: component, class, property and file
// names, registry keys, archive members. Only ASCII letters fold (names are
// ANSI and the fold must not depend on the user's locale).
#pragma once

#include <cstddef>
#include <cstdint>
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

// Hash and equality of names under SameText, for unordered containers keyed
// by a name in any case and looked up by a view of it, without an
// upper-cased copy.
struct SameTextHash {
  using is_transparent = void;
  // FNV-1a over the upper-cased bytes.
  std::size_t operator()(std::string_view name) const {
    std::uint64_t h = 14695981039346656037u;
    for (char c : name) {
      h ^= static_cast<unsigned char>(AsciiUpper(c));
      h *= 1099511628211u;
    }
    return static_cast<std::size_t>(h);
  }
};
struct SameTextEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); }
};

}  // namespace brimwell
