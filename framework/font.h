// TFont: the face, size, style and colour a control draws its text in. A
// sub-object of the controls that show text, stored in a project as an
// object ({"Name": "Arial", "Size": 10, "Style": ["fsBold"], ...}). Changes
// notify the owner through OnChange so it can repaint.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/colour.h"
#include "framework/exception.h"
#include "framework/persistent.h"

namespace brimwell {

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = EnumSet<TFontStyle>;
extern const EnumInfo kFontStyleInfo;

inline constexpr std::int32_t kDefaultCharset = 1;  // DEFAULT_CHARSET
inline constexpr std::int32_t kAnsiCharset = 0;     // ANSI_CHARSET
inline constexpr std::int32_t kMinFontSize = 1;
inline constexpr std::int32_t kMaxFontSize = 1000;
inline constexpr char kDefaultFontName[] = "Arial";
inline constexpr std::int32_t kDefaultFontSize = 8;

// Raised for a size outside kMinFontSize..kMaxFontSize (%d: the size).
inline constexpr char kBadFontSize[] = "Font size %d is outside 1..1000 points";

class TFont : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  TFont() = default;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  // In points (1/72 inch); drawn at 96 pixels per inch.
  std::int32_t Size() const { return size_; }
  // Throws EPropertyError (kBadFontSize) outside 1..1000.
  void SetSize(std::int32_t size);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  std::int32_t Charset() const { return charset_; }
  void SetCharset(std::int32_t charset);

  // Height of the em square in pixels at 96 pixels per inch.
  int PixelSize() const;

  // Copies the five settings of another font and notifies once.
  void Assign(const TPersistent& source) override;
  bool SameAs(const TFont& other) const;

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  std::string name_ = kDefaultFontName;
  std::int32_t size_ = kDefaultFontSize;
  TColor color_ = clWindowText;
  TFontStyles style_;
  std::int32_t charset_ = kDefaultCharset;
};

}  // namespace brimwell
