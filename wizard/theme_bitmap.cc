// The built-in theme picture INSTALLTHEME1, drawn here pixel by pixel into a
// 117 x 290 bitmap of the 16 standard colours: a night-blue sky fading to
// blue with a few stars, a product box with its disc in front of it, and a
// floor line. Drawn once, on first use.
#include <cmath>
#include <cstdint>
#include <vector>

#include "framework/picture.h"
#include "wizard/base_forms.h"

namespace brimwell {

namespace {

constexpr int kWidth = 117;
constexpr int kHeight = 290;

// The 16 colours of the standard palette, in their usual order.
enum Colour : std::uint8_t {
  kBlack, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
  kGray, kRed, kLime, kYellow, kBlue, kFuchsia, kAqua, kWhite
};
constexpr std::uint8_t kPalette[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// Ordered dithering threshold (0..15) of a 4 x 4 Bayer matrix.
int Bayer(int x, int y) {
  static constexpr int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return kMatrix[y & 3][x & 3];
}

// Mixes `a` and `b` by `amount` (0..1) with the dither pattern.
Colour Mix(Colour a, Colour b, double amount, int x, int y) {
  return amount * 16.0 > Bayer(x, y) + 0.5 ? b : a;
}

Colour Sky(int x, int y) {
  const double t = static_cast<double>(y) / (kHeight - 1);
  if (t < 0.45) return Mix(kBlack, kNavy, t / 0.45, x, y);
  return Mix(kNavy, kBlue, (t - 0.45) / 0.55 * 0.8, x, y);
}

Colour Pixel(int x, int y) {
  Colour c = Sky(x, y);
  // Stars: a fixed scatter in the upper sky.
  static constexpr int kStars[][2] = {{14, 22}, {47, 12}, {90, 30}, {102, 64}, {25, 71}, {66, 48},
                                      {8, 118}, {84, 97}, {38, 104}, {109, 132}, {57, 85}};
  for (const auto& s : kStars) {
    const int dx = std::abs(x - s[0]), dy = std::abs(y - s[1]);
    if (dx == 0 && dy == 0) return kWhite;
    if (dx + dy == 1) c = kSilver;
  }
  // The disc, leaning in front of the box's lower left corner.
  const double cx = 40, cy = 238, r = 26;
  const double d = std::hypot(x - cx, (y - cy) * 1.15);
  if (d <= r) {
    if (d > r - 1.2) return kBlack;
    if (d < 4) return kBlack;
    if (d < 8) return kGray;
    // Rainbow sheen on the silver surface.
    const double angle = std::atan2(y - cy, x - cx);
    if (std::fabs(angle + 0.8) < 0.18) return kAqua;
    if (std::fabs(angle + 0.5) < 0.1) return kFuchsia;
    if (std::fabs(angle - 2.3) < 0.15) return kYellow;
    return Mix(kSilver, kWhite, 0.5 + 0.5 * std::sin(angle * 2), x, y);
  }
  // The box: front face, right side and lid of a carton seen from the left.
  const int front_left = 20, front_right = 78, top = 150, bottom = 246, depth = 18;
  const int rise = depth / 2;
  const bool in_front = x >= front_left && x <= front_right && y >= top && y <= bottom;
  const bool in_side = x > front_right && x <= front_right + depth && y >= top - (x - front_right) / 2 &&
                       y <= bottom - (x - front_right) / 2;
  const bool in_lid = y < top && y >= top - rise && x >= front_left + (top - y) * 2 &&
                      x <= front_right + (top - y) * 2;
  if (in_front) {
    if (x == front_left || x == front_right || y == top || y == bottom) return kBlack;
    // A band across the front with the product's colour.
    if (y >= 176 && y <= 200) return (y == 176 || y == 200) ? kNavy : Mix(kTeal, kAqua, (x - front_left) / 58.0, x, y);
    return Mix(kSilver, kWhite, 1.0 - (y - top) / 96.0, x, y);
  }
  if (in_side) {
    if (x == front_right + depth || y == top - (x - front_right) / 2 || y == bottom - (x - front_right) / 2) {
      return kBlack;
    }
    return Mix(kGray, kSilver, 0.3, x, y);
  }
  if (in_lid) {
    if (y == top - rise || x == front_left + (top - y) * 2 || x == front_right + (top - y) * 2) return kBlack;
    return kWhite;
  }
  // The floor.
  if (y >= 266) return Mix(kNavy, kTeal, (y - 266) / 24.0, x, y);
  return c;
}

std::vector<std::uint8_t> DrawBitmap() {
  const int row_bytes = ((kWidth + 1) / 2 + 3) / 4 * 4;
  const std::uint32_t pixels_offset = 14 + 40 + 16 * 4;
  const std::uint32_t size = pixels_offset + static_cast<std::uint32_t>(row_bytes * kHeight);
  std::vector<std::uint8_t> bmp;
  bmp.reserve(size);
  auto u16 = [&](std::uint16_t v) {
    bmp.push_back(static_cast<std::uint8_t>(v));
    bmp.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto u32 = [&](std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  };
  bmp.push_back('B');
  bmp.push_back('M');
  u32(size);
  u32(0);
  u32(pixels_offset);
  u32(40);
  u32(kWidth);
  u32(kHeight);
  u16(1);
  u16(4);
  u32(0);
  u32(static_cast<std::uint32_t>(row_bytes * kHeight));
  u32(3780);  // 96 dots per inch
  u32(3780);
  u32(16);
  u32(16);
  for (const auto& rgb : kPalette) {
    bmp.push_back(rgb[2]);
    bmp.push_back(rgb[1]);
    bmp.push_back(rgb[0]);
    bmp.push_back(0);
  }
  // Rows bottom up, two pixels a byte, the left one in the high half.
  for (int y = kHeight - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(row_bytes), 0);
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t index = Pixel(x, y);
      row[static_cast<std::size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<std::uint8_t>(index << 4) : index;
    }
    bmp.insert(bmp.end(), row.begin(), row.end());
  }
  return bmp;
}

}  // namespace

const TPicture& DefaultThemeBitmap() {
  static const TPicture* picture = [] {
    auto* p = new TPicture();  // lives for the whole process
    p->LoadFromBytes(DrawBitmap());
    return p;
  }();
  return *picture;
}

}  // namespace brimwell
