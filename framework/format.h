// Format: builds a message from a format string and a list of typed
// arguments, with the conversions that the toolkit's messages use. Messages
// pass through the translator before they are formatted, so a format string
// may come from a language table; every mismatch between the string and the
// arguments is therefore checked and raises EFormatError instead of reading
// past the arguments.
//
// A format specifier is
//
//   "%" [index ":"] ["-"] [width] ["." precision] conversion
//
// index, width and precision are decimal numbers or "*" (the next argument,
// which must be an integer). An index selects the argument of that position
// (0-based); later specifiers without an index continue after it. "-" left-
// justifies within width (a negative "*" width does the same). "%%" is a
// single "%". Conversions (upper or lower case):
//
//   d  signed decimal; precision = minimum number of digits (zero-padded)
//   u  unsigned decimal (a negative 32-bit argument is taken modulo 2^32,
//      a negative 64-bit one modulo 2^64); precision as for d
//   x  hexadecimal in upper case, negative arguments as for u; precision as
//      for d
//   f  fixed point, precision = digits after the point (default 2)
//   n  as f with "," between groups of three integer digits: 1,234,567.89
//   e  scientific "-d.ddddE+ddd", precision = significant digits (default
//      15); the exponent has at least three digits
//   g  the shorter of fixed and scientific, precision = significant digits
//      (default 15), no trailing zeros
//   s  string; precision = maximum number of characters
//
// d, u and x take integer arguments; f, n, e and g take floating-point or
// integer arguments; s takes strings. Floating-point values are rounded on
// their 15-significant-digit decimal form, halves away from zero (2.675
// with "%.2f" gives "2.68"); a value that rounds to zero is printed without
// a minus sign. Arguments beyond those the format uses are ignored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace brimwell {

// One argument of Format. Built implicitly from the usual C++ types, so a
// call reads Format("%s has %d files", {name, count}).
class FormatArg {
 public:
  enum class Kind { kInt32, kInt64, kUInt64, kFloat, kString };

  FormatArg(int v) : kind_(Kind::kInt32), int_(v) {}
  FormatArg(long v) : kind_(sizeof(long) == 4 ? Kind::kInt32 : Kind::kInt64), int_(v) {}
  FormatArg(long long v) : kind_(Kind::kInt64), int_(v) {}
  FormatArg(unsigned v) : kind_(Kind::kInt64), int_(v) {}
  FormatArg(unsigned long v) : kind_(Kind::kUInt64), uint_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::kUInt64), uint_(v) {}
  FormatArg(double v) : kind_(Kind::kFloat), float_(v) {}
  FormatArg(float v) : kind_(Kind::kFloat), float_(v) {}
  FormatArg(char c) : kind_(Kind::kString), string_(1, c) {}
  // A null pointer is an empty string.
  FormatArg(const char* s) : kind_(Kind::kString), string_(s != nullptr ? s : "") {}
  FormatArg(std::string s) : kind_(Kind::kString), string_(std::move(s)) {}
  FormatArg(std::string_view s) : kind_(Kind::kString), string_(s) {}
  // A bool would silently become 0 or 1; say what is meant instead.
  FormatArg(bool) = delete;

  Kind kind() const { return kind_; }
  bool IsInteger() const { return kind_ != Kind::kFloat && kind_ != Kind::kString; }
  std::int64_t AsInt64() const { return int_; }      // kInt32, kInt64
  std::uint64_t AsUInt64() const { return uint_; }   // kUInt64
  double AsFloat() const { return float_; }          // kFloat
  const std::string& AsString() const { return string_; }  // kString

 private:
  Kind kind_;
  std::int64_t int_ = 0;
  std::uint64_t uint_ = 0;
  double float_ = 0;
  std::string string_;
};

// Message raised for a specifier that is malformed, uses an unknown
// conversion or does not fit its argument; %s is the whole format string.
inline constexpr char kFormatInvalid[] = "Format '%s' invalid or incompatible with argument";
// Message raised when a specifier (or a "*") has no argument left.
inline constexpr char kFormatArgumentMissing[] = "No argument for format '%s'";

// Returns format with every specifier replaced by its formatted argument.
// Throws EFormatError (kFormatInvalid or kFormatArgumentMissing) as above.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);
std::string Format(std::string_view format, std::span<const FormatArg> args);

}  // namespace brimwell
