// The faces that draw the fonts a translator asks for. Controls keep the
// face names as Windows knows them ("Arial", "MS Sans Serif", a Shift-JIS
// name, ...); where text is drawn, this table names the installed face that
// stands in for each (packages fonts-liberation2, fonts-noto-cjk, culmus):
//
//   stored face or character set              drawn with
//   "Arial", "MS Sans Serif", "SGreek"        Liberation Sans
//   character set 134 or the Chinese name     Noto Sans CJK SC
//   character set 128 or the Japanese name    Noto Sans CJK JP
//   character set 129 or the Korean name      Noto Serif CJK KR (a serif face, as the stored one is)
//   character set 177 or "Miriam"             Miriam CLM
//
// Any other face is drawn as it is named.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

// Character sets of the languages (Windows numbers).
inline constexpr int kShiftJisCharset = 128;
inline constexpr int kHangeulCharset = 129;
inline constexpr int kGb2312Charset = 134;
inline constexpr int kVietnameseCharset = 163;
inline constexpr int kHebrewCharset = 177;
inline constexpr int kRussianCharset = 204;
inline constexpr int kEastEuropeCharset = 238;

std::string InstalledFace(std::string_view stored_face, int charset);

}  // namespace brimwell
