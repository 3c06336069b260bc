#include "translate/font_faces.h"

#include "framework/font.h"
#include "framework/persistent.h"
#include "translate/brwl_language.h"

namespace brimwell {

namespace {
constexpr char kLatinFace[] = "Liberation Sans";
constexpr char kChineseFace[] = "Noto Sans CJK SC";
constexpr char kJapaneseFace[] = "Noto Sans CJK JP";
constexpr char kKoreanFace[] = "Noto Serif CJK KR";
constexpr char kHebrewFace[] = "Miriam CLM";

std::string_view StoredFaceOf(TBrwlLanguage language) { return TraitsOf(language)->face; }
}  // namespace

std::string InstalledFace(std::string_view stored_face, int charset) {
  if (charset == kGb2312Charset || stored_face == StoredFaceOf(blChineseSimplified)) return kChineseFace;
  if (charset == kShiftJisCharset || stored_face == StoredFaceOf(blJapanese)) return kJapaneseFace;
  if (charset == kHangeulCharset || stored_face == StoredFaceOf(blKorean)) return kKoreanFace;
  if (charset == kHebrewCharset || SameText(stored_face, StoredFaceOf(blHebrew))) return kHebrewFace;
  for (std::string_view latin : {"Arial", "MS Sans Serif", "SGreek"}) {
    if (SameText(stored_face, latin)) return kLatinFace;
  }
  return std::string(stored_face);
}

}  // namespace brimwell
