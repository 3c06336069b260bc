// The backdrop's gradient: the extent cut into 256 bands, each filled with
// one solid colour stepping from one colour to the other, optionally
// mirrored about the middle. Kept apart from any drawing toolkit so the
// band arithmetic can be checked exactly.
#pragma once

#include <cstdint>

namespace brimwell {

// a * b / c computed in 64 bits and rounded to the nearest integer, halves
// away from zero; -1 when c is 0 (the Windows rule).
int MulDiv(int a, int b, int c);

struct GradientBand {
  int left = 0;
  int top = 0;
  int right = 0;   // exclusive
  int bottom = 0;  // exclusive
  std::uint32_t rgb = 0;  // 0x00BBGGRR
  bool Empty() const { return right <= left || bottom <= top; }
};

// Calls `fill(band)` for every band of a `width` x `height` area, from
// `from_rgb` to `to_rgb` (plain 0x00BBGGRR colours): horizontal bands from
// the top unless `vertical`, which gives vertical bands from the left. When
// `mirrored`, colours run from the edges to the middle. Empty bands are
// passed too (an area under 256 pixels has some); nothing is allocated.
template <class Fill>
void DrawGradient(std::uint32_t from_rgb, std::uint32_t to_rgb, bool vertical, bool mirrored, int width,
                  int height, Fill&& fill) {
  const int r0 = static_cast<int>(from_rgb & 0xFF);
  const int g0 = static_cast<int>((from_rgb >> 8) & 0xFF);
  const int b0 = static_cast<int>((from_rgb >> 16) & 0xFF);
  const int dr = static_cast<int>(to_rgb & 0xFF) - r0;
  const int dg = static_cast<int>((to_rgb >> 8) & 0xFF) - g0;
  const int db = static_cast<int>((to_rgb >> 16) & 0xFF) - b0;
  const int steps = mirrored ? 127 : 255;
  const int extent = vertical ? width : height;
  auto band = [&](int from, int to, std::uint32_t rgb) {
    GradientBand b;
    if (vertical) {
      b = {from, 0, to, height, rgb};
    } else {
      b = {0, from, width, to, rgb};
    }
    fill(b);
  };
  for (int i = 0; i <= steps; ++i) {
    const std::uint32_t rgb = (static_cast<std::uint32_t>(r0 + MulDiv(i, dr, steps)) & 0xFF) |
                              (static_cast<std::uint32_t>(g0 + MulDiv(i, dg, steps)) & 0xFF) << 8 |
                              (static_cast<std::uint32_t>(b0 + MulDiv(i, db, steps)) & 0xFF) << 16;
    band(MulDiv(i, extent, 256), MulDiv(i + 1, extent, 256), rgb);
    if (mirrored) band(MulDiv(255 - i, extent, 256), MulDiv(256 - i, extent, 256), rgb);
  }
}

}  // namespace brimwell
