// TLabelStyle: the 3-D settings of a rotated label (angle, effect, shade
// colours and offsets), owned by the label. Every change that alters the
// drawing notifies the owner through OnChange, which repaints it.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/colour.h"
#include "framework/persistent.h"

namespace brimwell {

enum class T3DEffectShort { A3dNormal, A3dResit, A3dRaised, A3dShadowed };
extern const EnumInfo k3DEffectShortInfo;

class TLabelStyle : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  TLabelStyle() = default;

  // Degrees counter-clockwise, 0..359; any other value becomes 0.
  std::int32_t Angle() const { return angle_; }
  void SetAngle(std::int32_t angle);
  T3DEffectShort AStyle3D() const { return style_; }
  void SetAStyle3D(T3DEffectShort style);
  // Sets the effect without notifying (the label's paint does this).
  void ForceAStyle3D(T3DEffectShort style) { style_ = style; }
  TColor AShadeRightBottom() const { return shade_right_bottom_; }
  void SetAShadeRightBottom(TColor colour);
  // Ignored while AShadeLTSet is on.
  TColor AShadeLeftTop() const { return shade_left_top_; }
  void SetAShadeLeftTop(TColor colour);
  // On: the highlight is white and the chosen colour is kept aside; off:
  // the kept colour comes back.
  bool AShadeLTSet() const { return shade_lt_set_; }
  void SetAShadeLTSet(bool on);
  TColor SavedLeftTop() const { return saved_left_top_; }
  std::int32_t AHShadeOffSet() const { return h_offset_; }
  void SetAHShadeOffSet(std::int32_t offset);
  std::int32_t AVShadeOffSet() const { return v_offset_; }
  void SetAVShadeOffSet(std::int32_t offset);

  // Copies the seven settings and notifies once.
  void Assign(const TPersistent& source) override;

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }

  std::int32_t angle_ = 0;
  T3DEffectShort style_ = T3DEffectShort::A3dRaised;
  TColor shade_right_bottom_ = clGray;
  TColor shade_left_top_ = clWhite;
  bool shade_lt_set_ = false;
  std::int32_t h_offset_ = 5;
  std::int32_t v_offset_ = -5;
  TColor saved_left_top_ = clWhite;
};

}  // namespace brimwell
