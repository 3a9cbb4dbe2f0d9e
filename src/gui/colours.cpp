#include "gui/colours.h"

#include "platform/colours.h"

namespace vesk::gui {

QColor FromColourValue(uint32_t value) {
  const Rgb rgb = ColourValueToRgb(value);
  return QColor(rgb.red, rgb.green, rgb.blue);
}

uint32_t ToColourValue(const QColor& colour) {
  const QColor c = colour.toRgb();
  return RgbToColourValue(
      {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())});
}

}  // namespace vesk::gui
