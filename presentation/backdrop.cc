#include "presentation/backdrop.h"

#include <algorithm>

#include "framework/format.h"
#include "presentation/primary_instance.h"

namespace brimwell {

const EnumInfo kDirectionInfo{
    "TDirection", {"bdUp", "bdDown", "bdLeft", "bdRight", "bdHorzIn", "bdHorzOut", "bdVertIn", "bdVertOut"}};
const EnumInfo kBorderStyleInfo{"TBorderStyle", {"bsNone", "bsSingle"}};

const ClassInfo& TBackdrop::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TBackdrop>("TBackdrop", &TWinControl::StaticClassInfo())
          .Creatable()
          .Enum("Align", kAlignInfo, &TBackdrop::Align, &TBackdrop::SetAlign, TAlign::alClient)
          .Enum("BorderStyle", kBorderStyleInfo, &TBackdrop::BorderStyle, &TBackdrop::SetBorderStyle,
                TBorderStyle::bsNone)
          .Property("BorderWidth", &TBackdrop::BorderWidth, &TBackdrop::SetBorderWidth, 0)
          .Enum("Direction", kDirectionInfo, &TBackdrop::Direction, &TBackdrop::SetDirection, TDirection::bdUp)
          .Colour("EndColor", &TBackdrop::EndColor, &TBackdrop::SetEndColor, clBlack)
          .Property("Locked", &TBackdrop::Locked, &TBackdrop::SetLocked, false)
          .Colour("StartColor", &TBackdrop::StartColor, &TBackdrop::SetStartColor, clBlue)
          .Property("TabStop", &TBackdrop::TabStop, &TBackdrop::SetTabStop, false)
          .Build();
  return info;
}

GradientPlan PlanGradient(TDirection direction, TColor start, TColor end) {
  const std::uint32_t s = ColorToRGB(start);
  const std::uint32_t e = ColorToRGB(end);
  switch (direction) {
    case TDirection::bdUp: return {s, e, false, false};
    case TDirection::bdDown: return {e, s, false, false};
    case TDirection::bdLeft: return {s, e, true, false};
    case TDirection::bdRight: return {e, s, true, false};
    case TDirection::bdHorzIn: return {e, s, false, true};
    case TDirection::bdHorzOut: return {s, e, false, true};
    case TDirection::bdVertIn: return {s, e, true, true};
    case TDirection::bdVertOut: return {e, s, true, true};
  }
  return {s, e, false, false};  // an ordinal beyond the list draws as bdUp
}

TBackdrop::TBackdrop(TComponent* owner) : TWinControl(owner) {
  SetAlign(TAlign::alClient);
  ClaimPrimaryInDesigner(*this, owner != nullptr && owner->Designing());
}

TBackdrop::~TBackdrop() { ReleasePrimary(*this); }

void TBackdrop::SetDirection(TDirection direction) {
  if (direction == direction_) return;
  direction_ = direction;
  Invalidate();
}

void TBackdrop::SetStartColor(TColor colour) {
  if (colour == start_color_) return;
  start_color_ = colour;
  Invalidate();
}

void TBackdrop::SetEndColor(TColor colour) {
  if (colour == end_color_) return;
  end_color_ = colour;
  Invalidate();
}

void TBackdrop::SetBorderStyle(TBorderStyle style) {
  border_style_ = style;
  Realign();
}

void TBackdrop::SetBorderWidth(std::int32_t width) {
  if (width < 0) throw EPropertyError(Format(kNegativeSize, {width}));
  border_width_ = width;
  Realign();
}

void TBackdrop::SetTag(std::int32_t tag) { WritePrimaryTag(*this, tag); }

void TBackdrop::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TBackdrop*>(&source);
  if (other == nullptr) {
    TWinControl::Assign(source);
    return;
  }
  direction_ = other->direction_;
  end_color_ = other->end_color_;
  start_color_ = other->start_color_;
  SetAlign(other->Align());
  Invalidate();
}

ControlRect TBackdrop::ClientRect() const {
  int inset = border_width_ + (border_style_ == TBorderStyle::bsSingle ? 1 : 0);
  return {inset, inset, std::max(Width() - 2 * inset, 0), std::max(Height() - 2 * inset, 0)};
}

}  // namespace brimwell
