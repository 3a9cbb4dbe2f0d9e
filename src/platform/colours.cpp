#include "platform/colours.h"

#include <array>

namespace vesk {
namespace {

// The classic scheme's system colours, index 0 .. 30, as 0xRRGGBB.
constexpr std::array<uint32_t, kSystemColourCount> kClassicSystemColours = {
    0xD4D0C8,  //  0 scroll bar
    0x3A6EA5,  //  1 desktop background
    0x0A246A,  //  2 active caption
    0x808080,  //  3 inactive caption
    0xD4D0C8,  //  4 menu
    0xFFFFFF,  //  5 window background
    0x000000,  //  6 window frame
    0x000000,  //  7 menu text
    0x000000,  //  8 window text
    0xFFFFFF,  //  9 caption text
    0xD4D0C8,  // 10 active border
    0xD4D0C8,  // 11 inactive border
    0x808080,  // 12 application workspace
    0x0A246A,  // 13 highlight
    0xFFFFFF,  // 14 highlighted text
    0xD4D0C8,  // 15 button face
    0x808080,  // 16 button shadow
    0x808080,  // 17 grey text
    0x000000,  // 18 button text
    0xD4D0C8,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x404040,  // 21 3-D dark shadow
    0xD4D0C8,  // 22 3-D light
    0x000000,  // 23 tooltip text
    0xFFFFE1,  // 24 tooltip background
    0xB5B5B5,  // 25 alternate button face
    0x000080,  // 26 hot-tracked item
    0xA6CAF0,  // 27 active caption gradient
    0xC0C0C0,  // 28 inactive caption gradient
    0x0A246A,  // 29 menu highlight
    0xD4D0C8,  // 30 menu bar
};

}  // namespace

Rgb SystemColourRgb(uint32_t index) {
  if (index >= kClassicSystemColours.size()) return {};
  const uint32_t rgb = kClassicSystemColours[index];
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)};
}

Rgb ColourValueToRgb(uint32_t value) {
  if (IsSystemColourValue(value)) return SystemColourRgb(value & 0xFF);
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16)};
}

}  // namespace vesk
