// Colours as projects store them: 0x00BBGGRR for a plain colour, or a
// system colour (the high bit set, the low byte its index), resolved to the
// classic desktop scheme when something is drawn.
#pragma once

#include <cstdint>

namespace brimwell {

using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;

// System colours: 0x80000000 | index.
inline constexpr TColor SystemColour(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(index));
}
inline constexpr TColor clBtnFace = SystemColour(15);
inline constexpr TColor clWindow = SystemColour(5);
inline constexpr TColor clWindowText = SystemColour(8);
inline constexpr TColor clBtnShadow = SystemColour(16);
inline constexpr TColor clBtnHighlight = SystemColour(20);

// The plain 0x00BBGGRR value of `colour`: a system colour is looked up in
// the classic scheme (an unknown index gives black); any other value keeps
// its low 24 bits.
std::uint32_t ColorToRGB(TColor colour);

inline constexpr int RedOf(std::uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }
inline constexpr int GreenOf(std::uint32_t rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline constexpr int BlueOf(std::uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline constexpr std::uint32_t RGBOf(int r, int g, int b) {
  return (static_cast<std::uint32_t>(r) & 0xFF) | (static_cast<std::uint32_t>(g) & 0xFF) << 8 |
         (static_cast<std::uint32_t>(b) & 0xFF) << 16;
}

}  // namespace brimwell
