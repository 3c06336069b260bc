// TBackdrop: a panel that fills its area with a colour gradient, the
// full-screen background of a setup (by default it fills its parent). It
// draws nothing but the gradient: no bevel, no caption.
#pragma once

#include <cstdint>

#include "presentation/control.h"
#include "presentation/gradient.h"

namespace brimwell {

enum class TDirection { bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut };
extern const EnumInfo kDirectionInfo;

enum class TBorderStyle { bsNone, bsSingle };
extern const EnumInfo kBorderStyleInfo;

// The arguments of the gradient a direction draws.
struct GradientPlan {
  std::uint32_t from_rgb;
  std::uint32_t to_rgb;
  bool vertical;
  bool mirrored;
};
// `start` and `end` may be system colours; they are resolved here.
GradientPlan PlanGradient(TDirection direction, TColor start, TColor end);

class TBackdrop : public TWinControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TBackdrop(TComponent* owner);
  ~TBackdrop() override;

  TDirection Direction() const { return direction_; }
  void SetDirection(TDirection direction);
  TColor StartColor() const { return start_color_; }
  void SetStartColor(TColor colour);
  TColor EndColor() const { return end_color_; }
  void SetEndColor(TColor colour);

  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle style);
  std::int32_t BorderWidth() const { return border_width_; }
  // Throws EPropertyError for a negative width.
  void SetBorderWidth(std::int32_t width);
  bool Locked() const { return locked_; }
  void SetLocked(bool locked) { locked_ = locked; }
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool tab_stop) { tab_stop_ = tab_stop; }

  void SetTag(std::int32_t tag) override;

  // Copies Direction, EndColor, StartColor and Align of another backdrop
  // and repaints; anything else as TPersistent does.
  void Assign(const TPersistent& source) override;

  // Calls `fill(band)` for the 256 bands of the current size.
  template <class Fill>
  void PaintBands(Fill&& fill) const {
    GradientPlan g = PlanGradient(direction_, start_color_, end_color_);
    DrawGradient(g.from_rgb, g.to_rgb, g.vertical, g.mirrored, Width(), Height(), fill);
  }

  ControlRect ClientRect() const override;

 private:
  TDirection direction_ = TDirection::bdUp;
  TColor start_color_ = clBlue;
  TColor end_color_ = clBlack;
  TBorderStyle border_style_ = TBorderStyle::bsNone;
  std::int32_t border_width_ = 0;
  bool locked_ = false;
  bool tab_stop_ = false;
};

}  // namespace brimwell
