#include "framework/format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/exception.h"

namespace brimwell {
namespace {

// Widths and precisions above this are refused: a translated format string
// must not be able to make a message allocate gigabytes.
constexpr int kMaxField = 65536;
// Floating-point values are shown with at most this many significant digits;
// the 15-digit decimal form of a double is what a reader expects to see
// (0.1 + 0.2 prints as 0.3).
constexpr int kFloatDigits = 15;
constexpr int kMaxDoubleDigits = 17;
// Default precisions of the floating-point conversions.
constexpr int kDefaultFixedDecimals = 2;
constexpr int kDefaultSignificant = 15;
// Minimum number of exponent digits of the e conversion.
constexpr int kExponentDigits = 3;

[[noreturn]] void Fail(const char* message, std::string_view format) {
  std::string text = message;
  std::size_t at = text.find("%s");
  text.replace(at, 2, format);
  throw EFormatError(text);
}

// A finite non-negative value as decimal digits: value = 0.d1d2d3... * 10^exponent.
// No leading zeros; zero has no digits.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal ToDecimal(double magnitude, int significant) {
  Decimal d;
  if (magnitude == 0) return d;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, magnitude);
  // buf is "d.ddddde+XX" (or "de+XX" for one digit).
  const char* p = buf;
  for (; *p != 'e'; ++p) {
    if (*p != '.') d.digits.push_back(*p);
  }
  d.exponent = std::atoi(p + 1) + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Digits to take from a double before rounding to `significant` digits
// ourselves (so that halves go away from zero like everywhere else); a
// double holds no more than 17 meaningful ones.
int DigitsFor(int significant) { return std::clamp(significant, kFloatDigits, kMaxDoubleDigits); }

// Keeps the first `keep` digits, rounding the rest half away from zero. A
// negative `keep` rounds everything away (the value becomes zero).
void RoundDigits(Decimal& d, int keep) {
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  if (static_cast<std::size_t>(keep) >= d.digits.size()) return;
  bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') {
      d.digits[i] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[i];
    } else {
      // 0.999 rounded up: one more integer digit.
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exponent = 0;
}

char DigitAt(const Decimal& d, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < d.digits.size() ? d.digits[index] : '0';
}

std::string GroupThousands(const std::string& integer) {
  std::string out;
  int n = static_cast<int>(integer.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out.push_back(',');
    out.push_back(integer[i]);
  }
  return out;
}

// Fixed point with `decimals` digits after the point; `thousands` groups the
// integer part. Returns the text without sign; `zero` tells whether the
// rounded value is zero.
std::string FixedText(double magnitude, int decimals, bool thousands, bool& zero) {
  Decimal d = ToDecimal(magnitude, kFloatDigits);
  RoundDigits(d, d.exponent + decimals);
  zero = d.digits.empty();
  std::string integer;
  for (int i = 0; i < d.exponent; ++i) integer.push_back(DigitAt(d, i));
  if (integer.empty()) integer = "0";
  std::string out = thousands ? GroupThousands(integer) : integer;
  if (decimals > 0) {
    out.push_back('.');
    for (int i = 0; i < decimals; ++i) out.push_back(DigitAt(d, d.exponent + i));
  }
  return out;
}

std::string ExponentText(int exponent, int min_digits, bool plus) {
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  while (static_cast<int>(digits.size()) < min_digits) digits.insert(digits.begin(), '0');
  std::string out = "E";
  if (exponent < 0) {
    out.push_back('-');
  } else if (plus) {
    out.push_back('+');
  }
  return out + digits;
}

// Scientific with `significant` digits: d.dddE+ddd.
std::string ScientificText(double magnitude, int significant, bool& zero) {
  Decimal d = ToDecimal(magnitude, DigitsFor(significant));
  RoundDigits(d, significant);
  zero = d.digits.empty();
  std::string out(1, DigitAt(d, 0));
  if (significant > 1) {
    out.push_back('.');
    for (int i = 1; i < significant; ++i) out.push_back(DigitAt(d, i));
  }
  return out + ExponentText(zero ? 0 : d.exponent - 1, kExponentDigits, true);
}

// The shortest of fixed and scientific form with at most `significant`
// digits: scientific when the integer part has more digits than that or the
// value is below 0.0001.
std::string GeneralText(double magnitude, int significant, bool& zero) {
  Decimal d = ToDecimal(magnitude, DigitsFor(significant));
  RoundDigits(d, significant);
  zero = d.digits.empty();
  if (zero) return "0";
  int count = static_cast<int>(d.digits.size());
  if (d.exponent > significant || d.exponent < -3) {
    std::string out(1, d.digits[0]);
    if (count > 1) out += "." + d.digits.substr(1);
    return out + ExponentText(d.exponent - 1, 0, false);
  }
  std::string out;
  if (d.exponent <= 0) {
    out = "0." + std::string(-d.exponent, '0') + d.digits;
  } else {
    for (int i = 0; i < d.exponent; ++i) out.push_back(DigitAt(d, i));
    if (count > d.exponent) out += "." + d.digits.substr(d.exponent);
  }
  return out;
}

std::string UnsignedText(std::uint64_t value, int base) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}

// Number of UTF-8 characters (bytes that do not continue a sequence).
std::size_t CharCount(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The byte length of the first `chars` characters of s.
std::size_t PrefixBytes(std::string_view s, std::size_t chars) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == chars) return i;
      ++seen;
    }
  }
  return s.size();
}

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const FormatArg> args)
      : format_(format), args_(args) {}

  std::string Run() {
    std::size_t pos = 0;
    while (pos < format_.size()) {
      std::size_t percent = format_.find('%', pos);
      if (percent == std::string_view::npos) {
        out_.append(format_.substr(pos));
        break;
      }
      out_.append(format_.substr(pos, percent - pos));
      pos_ = percent + 1;
      Specifier();
      pos = pos_;
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Invalid() const { Fail(kFormatInvalid, format_); }

  bool AtEnd() const { return pos_ >= format_.size(); }
  char Peek() const { return AtEnd() ? '\0' : format_[pos_]; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  const FormatArg& NextArg() {
    if (next_arg_ >= args_.size()) Fail(kFormatArgumentMissing, format_);
    return args_[next_arg_++];
  }

  // Reads a decimal number or "*" into value; false when neither is there.
  // A "*" takes the next argument, which must be an integer; it may be
  // negative.
  bool Number(std::int64_t& value) {
    if (Peek() == '*') {
      ++pos_;
      const FormatArg& a = NextArg();
      if (a.kind() == FormatArg::Kind::kUInt64) {
        if (a.AsUInt64() > static_cast<std::uint64_t>(kMaxField)) Invalid();
        value = static_cast<std::int64_t>(a.AsUInt64());
      } else if (a.IsInteger()) {
        value = a.AsInt64();
      } else {
        Invalid();
      }
      if (value > kMaxField || value < -kMaxField) Invalid();
      return true;
    }
    if (!IsDigit(Peek())) return false;
    value = 0;
    while (IsDigit(Peek())) {
      value = value * 10 + (format_[pos_++] - '0');
      if (value > kMaxField) Invalid();
    }
    return true;
  }

  void Specifier() {
    if (AtEnd()) Invalid();
    if (Peek() == '%') {
      ++pos_;
      out_.push_back('%');
      return;
    }
    std::int64_t first = 0;
    bool have_first = Number(first);
    if (have_first && Peek() == ':') {
      ++pos_;
      if (first < 0) Invalid();
      next_arg_ = static_cast<std::size_t>(first);
      have_first = false;
    }
    bool left = false;
    if (!have_first && Peek() == '-') {
      ++pos_;
      left = true;
    }
    std::int64_t width = 0;
    if (have_first) {
      width = first;
    } else {
      Number(width);
    }
    if (width < 0) {
      left = true;
      width = -width;
    }
    std::int64_t precision = -1;
    if (Peek() == '.') {
      ++pos_;
      precision = 0;
      Number(precision);
      if (precision < 0) precision = -1;  // a negative "*" precision means none
    }
    if (AtEnd()) Invalid();
    char conversion = format_[pos_++];
    if (conversion >= 'A' && conversion <= 'Z') conversion = static_cast<char>(conversion - 'A' + 'a');
    std::string text = Convert(conversion, static_cast<int>(precision));
    Pad(text, static_cast<std::size_t>(width), left);
  }

  std::string Convert(char conversion, int precision) {
    switch (conversion) {
      case 'd':
      case 'u':
      case 'x':
        return IntegerText(conversion, precision, NextArg());
      case 'f':
      case 'n':
      case 'e':
      case 'g':
        return FloatText(conversion, precision, NextArg());
      case 's': {
        const FormatArg& a = NextArg();
        if (a.kind() != FormatArg::Kind::kString) Invalid();
        std::string_view s = a.AsString();
        if (precision >= 0) s = s.substr(0, PrefixBytes(s, precision));
        return std::string(s);
      }
      default:
        Invalid();
    }
  }

  std::string IntegerText(char conversion, int precision, const FormatArg& a) {
    if (!a.IsInteger()) Invalid();
    bool negative = false;
    std::uint64_t magnitude;
    if (a.kind() == FormatArg::Kind::kUInt64) {
      magnitude = a.AsUInt64();
    } else if (conversion == 'd') {
      std::int64_t v = a.AsInt64();
      negative = v < 0;
      magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    } else {
      // u and x show a negative value as its two's complement in the
      // argument's own width.
      magnitude = static_cast<std::uint64_t>(a.AsInt64());
      if (a.kind() == FormatArg::Kind::kInt32) magnitude &= 0xFFFFFFFFu;
    }
    std::string digits = UnsignedText(magnitude, conversion == 'x' ? 16 : 10);
    if (precision > static_cast<int>(digits.size())) {
      digits.insert(digits.begin(), precision - digits.size(), '0');
    }
    return negative ? "-" + digits : digits;
  }

  std::string FloatText(char conversion, int precision, const FormatArg& a) {
    double v;
    if (a.kind() == FormatArg::Kind::kFloat) {
      v = a.AsFloat();
    } else if (a.kind() == FormatArg::Kind::kUInt64) {
      v = static_cast<double>(a.AsUInt64());
    } else if (a.IsInteger()) {
      v = static_cast<double>(a.AsInt64());
    } else {
      Invalid();
    }
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    double magnitude = std::fabs(v);
    bool zero = false;
    std::string text;
    switch (conversion) {
      case 'f':
      case 'n':
        text = FixedText(magnitude, precision < 0 ? kDefaultFixedDecimals : precision,
                         conversion == 'n', zero);
        break;
      case 'e':
        text = ScientificText(magnitude, precision < 1 ? kDefaultSignificant : precision, zero);
        break;
      default:
        text = GeneralText(magnitude, precision < 1 ? kDefaultSignificant : precision, zero);
        break;
    }
    return std::signbit(v) && !zero ? "-" + text : text;
  }

  void Pad(const std::string& text, std::size_t width, bool left) {
    std::size_t length = CharCount(text);
    std::size_t fill = width > length ? width - length : 0;
    if (!left) out_.append(fill, ' ');
    out_.append(text);
    if (left) out_.append(fill, ' ');
  }

  std::string_view format_;
  std::span<const FormatArg> args_;
  std::size_t pos_ = 0;
  std::size_t next_arg_ = 0;
  std::string out_;
};

}  // namespace

std::string Format(std::string_view format, std::span<const FormatArg> args) {
  return Formatter(format, args).Run();
}

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  return Formatter(format, std::span<const FormatArg>(args.begin(), args.size())).Run();
}

}  // namespace brimwell
