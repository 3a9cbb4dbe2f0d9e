// Colour values as the window toolkit holds and stores them: 0x00BBGGRR for
// a plain colour, and a value with its top bit set (0xFF0000nn as the
// toolkit writes it) for the desktop's system colour with index nn. The
// conversion to red, green and blue takes the classic desktop scheme's
// default for a system colour, so a stored value shows the same everywhere.
#pragma once

#include <cstdint>

namespace vesk {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Plain colours by name.
inline constexpr uint32_t kColourBlack = 0x000000;
inline constexpr uint32_t kColourRed = 0x0000FF;
inline constexpr uint32_t kColourLime = 0x00FF00;
inline constexpr uint32_t kColourYellow = 0x00FFFF;
inline constexpr uint32_t kColourFuchsia = 0xFF00FF;
inline constexpr uint32_t kColourAqua = 0xFFFF00;

// System colours have the indices 0 .. kSystemColourCount - 1 (scroll bar,
// desktop, captions, menus, window, frame, texts, borders, highlight, button
// face and shades, grey text, tooltips, hot-track, caption gradients, menu
// highlight and bar).
inline constexpr uint32_t kSystemColourCount = 31;

constexpr uint32_t SystemColourValue(uint8_t index) { return 0xFF000000u | index; }
// A value with its top bit set names a system colour by its low byte.
constexpr bool IsSystemColourValue(uint32_t value) { return (value & 0x80000000u) != 0; }

// The classic default of system colour `index`; black for an index that
// names none (as the desktop answers for an unknown index).
Rgb SystemColourRgb(uint32_t index);

// What a colour value shows. Of a plain value only the low three bytes count.
Rgb ColourValueToRgb(uint32_t value);

// The plain colour value 0x00BBGGRR of a colour.
constexpr uint32_t RgbToColourValue(Rgb rgb) {
  return uint32_t{rgb.red} | (uint32_t{rgb.green} << 8) | (uint32_t{rgb.blue} << 16);
}

}  // namespace vesk
