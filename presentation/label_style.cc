#include "presentation/label_style.h"

#include "framework/exception.h"

namespace brimwell {

const EnumInfo k3DEffectShortInfo{"T3DEffectShort", {"A3dNormal", "A3dResit", "A3dRaised", "A3dShadowed"}};

const ClassInfo& TLabelStyle::StaticClassInfo() {
  // AShadeLTSet is declared with the value a new label has (off), not with
  // the historical stored default (on): a value equal to the declared
  // default is left out of a project, and must come back as it was.
  static const ClassInfo info =
      ClassBuilder<TLabelStyle>("TLabelStyle", nullptr)
          .Property("Angle", &TLabelStyle::Angle, &TLabelStyle::SetAngle, 0)
          .Enum("AStyle3D", k3DEffectShortInfo, &TLabelStyle::AStyle3D, &TLabelStyle::SetAStyle3D,
                T3DEffectShort::A3dRaised)
          .Colour("AShadeRightBottom", &TLabelStyle::AShadeRightBottom, &TLabelStyle::SetAShadeRightBottom, clGray)
          .Colour("AShadeLeftTop", &TLabelStyle::AShadeLeftTop, &TLabelStyle::SetAShadeLeftTop, clWhite)
          .Property("AShadeLTSet", &TLabelStyle::AShadeLTSet, &TLabelStyle::SetAShadeLTSet, false)
          .Property("AHShadeOffSet", &TLabelStyle::AHShadeOffSet, &TLabelStyle::SetAHShadeOffSet, 5)
          .Property("AVShadeOffSet", &TLabelStyle::AVShadeOffSet, &TLabelStyle::SetAVShadeOffSet, -5)
          .Build();
  return info;
}

void TLabelStyle::SetAngle(std::int32_t angle) {
  if (angle < 0 || angle > 359) angle = 0;
  if (angle == angle_) return;
  angle_ = angle;
  Changed();
}

void TLabelStyle::SetAStyle3D(T3DEffectShort style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TLabelStyle::SetAShadeRightBottom(TColor colour) {
  if (colour == shade_right_bottom_) return;
  shade_right_bottom_ = colour;
  Changed();
}

void TLabelStyle::SetAShadeLeftTop(TColor colour) {
  if (shade_lt_set_ || colour == shade_left_top_) return;
  shade_left_top_ = colour;
  Changed();
}

void TLabelStyle::SetAShadeLTSet(bool on) {
  if (on != shade_lt_set_) {
    shade_lt_set_ = on;
    if (on) {
      saved_left_top_ = shade_left_top_;
      shade_left_top_ = clWhite;
    } else {
      shade_left_top_ = saved_left_top_;
    }
  }
  // Only a switch to white that changes a 3-D highlight is worth a repaint.
  if (shade_lt_set_ && (style_ == T3DEffectShort::A3dResit || style_ == T3DEffectShort::A3dRaised) &&
      ColorToRGB(saved_left_top_) != ColorToRGB(clWhite)) {
    Changed();
  }
}

void TLabelStyle::SetAHShadeOffSet(std::int32_t offset) {
  if (offset == h_offset_) return;
  h_offset_ = offset;
  if (style_ == T3DEffectShort::A3dShadowed) Changed();
}

void TLabelStyle::SetAVShadeOffSet(std::int32_t offset) {
  if (offset == v_offset_) return;
  v_offset_ = offset;
  if (style_ == T3DEffectShort::A3dShadowed) Changed();
}

void TLabelStyle::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TLabelStyle*>(&source);
  if (other == nullptr) throw EConvertError("Cannot assign a " + source.ClassName() + " to a TLabelStyle");
  angle_ = other->angle_;
  style_ = other->style_;
  shade_right_bottom_ = other->shade_right_bottom_;
  shade_left_top_ = other->shade_left_top_;
  shade_lt_set_ = other->shade_lt_set_;
  h_offset_ = other->h_offset_;
  v_offset_ = other->v_offset_;
  Changed();
}

}  // namespace brimwell
