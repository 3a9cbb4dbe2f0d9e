#include "gui/colours.h"

#include <array>

namespace vesk::gui {
namespace {

// System colours 0..30 (scroll bar, desktop, captions, menus, window, frame,
// texts, borders, highlight, button face and shades, grey text, tooltips,
// hot-track, caption gradients, menu highlight and bar), as 0xRRGGBB.
constexpr std::array<uint32_t, 31> kSystemColours = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x0078D7, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,
};

}  // namespace

QColor FromColourValue(uint32_t value) {
  if ((value >> 24) == 0xFF) {
    const uint32_t index = value & 0xFF;
    const uint32_t rgb = index < kSystemColours.size() ? kSystemColours[index] : 0x000000;
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace vesk::gui
