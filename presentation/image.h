// TImage: a picture (bitmap or JPEG) placed on the backdrop or on an
// advertising page. The picture is drawn at its own size from the top-left
// corner, centred, or stretched to the control (keeping its proportions
// when Proportional is on); Transparent leaves out the colour of the
// bitmap's bottom-left pixel.
#pragma once

#include "framework/picture.h"
#include "presentation/control.h"

namespace brimwell {

class TImage : public TControl {
  BRIMWELL_CLASS_INFO()

 public:
  explicit TImage(TComponent* owner);

  TPicture& Picture() { return picture_; }
  const TPicture& Picture() const { return picture_; }
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);

  // Where a picture of `picture_width` x `picture_height` is drawn, in the
  // control's coordinates (it may extend beyond the control, which clips).
  ControlRect PictureRect(int picture_width, int picture_height) const;

 private:
  TPicture picture_;
  bool center_ = false;
  bool stretch_ = false;
  bool proportional_ = false;
  bool transparent_ = false;
};

}  // namespace brimwell
