#include "framework/font.h"

#include "framework/format.h"

namespace brimwell {

const EnumInfo kFontStyleInfo{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};

const ClassInfo& TFont::StaticClassInfo() {
  // Style has no stored default: controls start with different styles (a
  // rotated label is bold), so it is always written and always reloads.
  static const ClassInfo info = [] {
    ClassInfo built = ClassBuilder<TFont>("TFont", nullptr)
                          .Property("Charset", &TFont::Charset, &TFont::SetCharset, kDefaultCharset)
                          .Colour("Color", &TFont::Color, &TFont::SetColor, clWindowText)
                          .Property("Name", &TFont::Name, &TFont::SetName, std::string(kDefaultFontName))
                          .Property("Size", &TFont::Size, &TFont::SetSize, kDefaultFontSize)
                          .Set("Style", kFontStyleInfo, &TFont::Style, &TFont::SetStyle, TFontStyles{})
                          .Build();
    built.properties.back().default_value.reset();
    return built;
  }();
  return info;
}

void TFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetSize(std::int32_t size) {
  if (size < kMinFontSize || size > kMaxFontSize) throw EPropertyError(Format(kBadFontSize, {size}));
  if (size == size_) return;
  size_ = size;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetCharset(std::int32_t charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

int TFont::PixelSize() const {
  // Points to pixels at 96 per inch, rounded as the font mapper rounds.
  return (size_ * 96 + 36) / 72;
}

void TFont::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TFont*>(&source);
  if (other == nullptr) throw EConvertError("Cannot assign a " + source.ClassName() + " to a TFont");
  if (SameAs(*other)) return;
  name_ = other->name_;
  size_ = other->size_;
  color_ = other->color_;
  style_ = other->style_;
  charset_ = other->charset_;
  Changed();
}

bool TFont::SameAs(const TFont& other) const {
  return name_ == other.name_ && size_ == other.size_ && color_ == other.color_ && style_ == other.style_ &&
         charset_ == other.charset_;
}

}  // namespace brimwell
