// TRotate3DLabel: a caption drawn with a raised, recessed or shadowed 3-D
// effect, turned by any angle about the label's centre, optionally on an
// opaque box turned with it. The label works out what to draw (PlanPaint)
// from the caption's measured size; the user interface measures and draws.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "presentation/control.h"
#include "presentation/label_style.h"

namespace brimwell {

struct LabelPoint {
  int x = 0;
  int y = 0;
  bool operator==(const LabelPoint&) const = default;
};

// One pass of the caption: its top-left corner before the turn (the turn is
// about that corner) and its colour.
struct LabelTextPass {
  LabelPoint origin;
  TColor colour = 0;
};

struct LabelPaintPlan {
  int angle = 0;  // degrees counter-clockwise
  bool box = false;
  std::array<LabelPoint, 4> box_corners{};
  TColor box_colour = 0;
  std::vector<LabelTextPass> passes;  // in drawing order, the caption's own colour last
};

class TRotate3DLabel : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TRotate3DLabel(TComponent* owner);
  ~TRotate3DLabel() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  TLabelStyle& LabelStyle() { return style_; }
  const TLabelStyle& LabelStyle() const { return style_; }
  // Copies `style` and repaints.
  void SetLabelStyle(const TLabelStyle& style);
  // Off: the caption stands on a box of Color, which then no longer
  // follows the parent's colour; and the next paint drops the 3-D effect.
  bool MyTransparent() const { return my_transparent_; }
  void SetMyTransparent(bool transparent);

  void SetTag(std::int32_t tag) override;

  // What to draw for a caption measuring `text_width` x `text_height` in the
  // unturned font. Without MyTransparent this sets AStyle3D to A3dNormal
  // (silently, for good). Recomputes the cached cosine and sine.
  LabelPaintPlan PlanPaint(int text_width, int text_height);
  double Cosine() const { return cos_; }
  double Sine() const { return sin_; }

  // Copies Caption, LabelStyle, Font, Align, Left, Top, Width, Height and
  // MyTransparent of another rotated label.
  void Assign(const TPersistent& source) override;

 private:
  std::string caption_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TLabelStyle style_;
  bool my_transparent_ = true;
  double deg_to_rad_;
  double cos_ = 1.0;
  double sin_ = 0.0;
};

}  // namespace brimwell
