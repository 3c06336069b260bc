#include "presentation/label.h"

namespace brimwell {

const EnumInfo kTextLayoutInfo{"TTextLayout", {"tlTop", "tlCenter", "tlBottom"}};

const ClassInfo& TLabel::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TLabel>("TLabel", &TControl::StaticClassInfo())
          .Creatable()
          .Enum("Alignment", kAlignmentInfo, &TLabel::Alignment, &TLabel::SetAlignment, TAlignment::taLeftJustify)
          .Property("Caption", &TLabel::Caption, &TLabel::SetCaption)
          .Colour("Color", &TLabel::Color, &TLabel::SetColor, clBtnFace)
          .Object("Font", static_cast<TFont& (TLabel::*)()>(&TLabel::Font))
          .Enum("Layout", kTextLayoutInfo, &TLabel::Layout, &TLabel::SetLayout, TTextLayout::tlTop)
          .Property("ParentColor", &TLabel::ParentColor, &TLabel::SetParentColor, false)
          .Property("ParentFont", &TLabel::ParentFont, &TLabel::SetParentFont, false)
          .Property("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false)
          .Property("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false)
          .Build();
  return info;
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {}

void TLabel::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Invalidate();
}

void TLabel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Invalidate();
}

void TLabel::SetTransparent(bool v) {
  transparent_ = v;
  Invalidate();
}

void TLabel::SetWordWrap(bool v) {
  word_wrap_ = v;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout layout) {
  layout_ = layout;
  Invalidate();
}

}  // namespace brimwell
