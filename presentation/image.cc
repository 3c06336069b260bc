#include "presentation/image.h"

#include <cmath>

namespace brimwell {

const ClassInfo& TImage::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TImage>("TImage", &TControl::StaticClassInfo())
                                    .Creatable()
                                    .Property("Center", &TImage::Center, &TImage::SetCenter, false)
                                    .Picture("Picture", static_cast<TPicture& (TImage::*)()>(&TImage::Picture))
                                    .Property("Proportional", &TImage::Proportional, &TImage::SetProportional, false)
                                    .Property("Stretch", &TImage::Stretch, &TImage::SetStretch, false)
                                    .Property("Transparent", &TImage::Transparent, &TImage::SetTransparent, false)
                                    .Build();
  return info;
}

TImage::TImage(TComponent* owner) : TControl(owner) {}

void TImage::SetCenter(bool v) {
  center_ = v;
  Invalidate();
}
void TImage::SetStretch(bool v) {
  stretch_ = v;
  Invalidate();
}
void TImage::SetProportional(bool v) {
  proportional_ = v;
  Invalidate();
}
void TImage::SetTransparent(bool v) {
  transparent_ = v;
  Invalidate();
}

ControlRect TImage::PictureRect(int pw, int ph) const {
  if (pw <= 0 || ph <= 0) return {};
  int w = pw, h = ph;
  if (stretch_ || (proportional_ && (pw > Width() || ph > Height()))) {
    w = Width();
    h = Height();
    if (proportional_) {
      // The larger of the two scales that still fits.
      const double scale = std::min(static_cast<double>(Width()) / pw, static_cast<double>(Height()) / ph);
      w = static_cast<int>(std::lround(pw * scale));
      h = static_cast<int>(std::lround(ph * scale));
    }
  }
  if (center_) return {(Width() - w) / 2, (Height() - h) / 2, w, h};
  return {0, 0, w, h};
}

}  // namespace brimwell
