#include "presentation/rotate_3d_label.h"

#include <cmath>
#include <numbers>

#include "presentation/primary_instance.h"

namespace brimwell {
namespace {

// Truncation toward zero, as the layout arithmetic is defined.
int T(double v) { return static_cast<int>(v); }

}  // namespace

const ClassInfo& TRotate3DLabel::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TRotate3DLabel>("TRotate3DLabel", &TControl::StaticClassInfo())
          .Creatable()
          .Enum("Alignment", kAlignmentInfo, &TRotate3DLabel::Alignment, &TRotate3DLabel::SetAlignment,
                TAlignment::taLeftJustify)
          .Property("Caption", &TRotate3DLabel::Caption, &TRotate3DLabel::SetCaption)
          .Colour("Color", &TRotate3DLabel::Color, &TRotate3DLabel::SetColor, clWindow)
          .Object("Font", static_cast<TFont& (TRotate3DLabel::*)()>(&TRotate3DLabel::Font))
          .Object("LabelStyle", static_cast<TLabelStyle& (TRotate3DLabel::*)()>(&TRotate3DLabel::LabelStyle))
          .Property("MyTransparent", &TRotate3DLabel::MyTransparent, &TRotate3DLabel::SetMyTransparent, true)
          .Property("ParentColor", &TRotate3DLabel::ParentColor, &TRotate3DLabel::SetParentColor, false)
          .Property("ParentFont", &TRotate3DLabel::ParentFont, &TRotate3DLabel::SetParentFont, false)
          .Build();
  return info;
}

TRotate3DLabel::TRotate3DLabel(TComponent* owner)
    : TControl(owner), deg_to_rad_(std::numbers::pi / 180.0) {
  SetColor(clWindow);
  Font().SetStyle(TFontStyles{TFontStyle::fsBold});
  style_.OnChange = [this] { Invalidate(); };
  ClaimPrimaryInDesigner(*this, owner != nullptr && owner->Designing());
}

TRotate3DLabel::~TRotate3DLabel() { ReleasePrimary(*this); }

void TRotate3DLabel::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Invalidate();
}

void TRotate3DLabel::SetAlignment(TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  Invalidate();
}

void TRotate3DLabel::SetLabelStyle(const TLabelStyle& style) {
  style_.Assign(style);
  Invalidate();
}

void TRotate3DLabel::SetMyTransparent(bool transparent) {
  if (transparent == my_transparent_) return;
  my_transparent_ = transparent;
  if (!transparent) SetColor(DrawColor());  // keeps the colour, stops following the parent
  Invalidate();
}

void TRotate3DLabel::SetTag(std::int32_t tag) { WritePrimaryTag(*this, tag); }

LabelPaintPlan TRotate3DLabel::PlanPaint(int tw, int th) {
  if (!my_transparent_) style_.ForceAStyle3D(T3DEffectShort::A3dNormal);
  LabelPaintPlan plan;
  plan.angle = style_.Angle();
  const double angle = style_.Angle() * deg_to_rad_;
  cos_ = std::cos(angle);
  sin_ = std::sin(angle);
  const double c = cos_, s = sin_;

  int highlight = 0, shade = 0;
  switch (style_.AStyle3D()) {
    case T3DEffectShort::A3dRaised:
      highlight = -1;
      shade = 1;
      break;
    case T3DEffectShort::A3dResit:
      highlight = 1;
      shade = -1;
      break;
    default: break;
  }

  const int cx = Width() / 2;
  const int cy = Height() / 2;
  int x = 0;
  switch (alignment_) {
    case TAlignment::taLeftJustify: x = 0; break;
    case TAlignment::taRightJustify: x = Width() - tw; break;
    case TAlignment::taCenter: x = cx - T(tw * 0.5 * c) - T(th * 0.5 * s); break;
  }
  const int y = cy + T(tw * 0.5 * s) - T(th * 0.5 * c);

  if (!my_transparent_) {
    const double bw = tw + 10, bh = th + 7;
    plan.box = true;
    plan.box_colour = DrawColor();
    plan.box_corners = {LabelPoint{cx - T(bw * 0.5 * c) - T(bh * 0.5 * s), cy + T(bw * 0.5 * s) - T(bh * 0.5 * c)},
                        LabelPoint{cx + T(bw * 0.5 * c) - T(bh * 0.5 * s), cy - T(bw * 0.5 * s) - T(bh * 0.5 * c)},
                        LabelPoint{cx + T(bw * 0.5 * c) + T(bh * 0.5 * s), cy - T(bw * 0.5 * s) + T(bh * 0.5 * c)},
                        LabelPoint{cx - T(bw * 0.5 * c) + T(bh * 0.5 * s), cy + T(bw * 0.5 * s) + T(bh * 0.5 * c)}};
  }

  switch (style_.AStyle3D()) {
    case T3DEffectShort::A3dResit:
    case T3DEffectShort::A3dRaised:
      plan.passes.push_back({{x + highlight, y + highlight}, style_.AShadeLeftTop()});
      plan.passes.push_back({{x + shade, y + shade}, style_.AShadeRightBottom()});
      break;
    case T3DEffectShort::A3dShadowed:
      plan.passes.push_back({{x + style_.AHShadeOffSet(), y + style_.AVShadeOffSet()}, style_.AShadeRightBottom()});
      break;
    case T3DEffectShort::A3dNormal: break;
  }
  plan.passes.push_back({{x, y}, DrawFont().Color()});
  return plan;
}

void TRotate3DLabel::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TRotate3DLabel*>(&source);
  if (other == nullptr) {
    TControl::Assign(source);
    return;
  }
  SetCaption(other->caption_);
  SetLabelStyle(other->style_);
  Font().Assign(other->Font());
  SetAlign(other->Align());
  SetBounds(other->Left(), other->Top(), other->Width(), other->Height());
  SetMyTransparent(other->my_transparent_);
}

}  // namespace brimwell
