// Colour values as the settings hold them (0x00BBGGRR, or a system colour
// 0xFF0000nn) shown as Qt colours, and Qt colours chosen in a dialog as
// colour values.
#pragma once

#include <cstdint>

#include <QColor>

namespace vesk::gui {

QColor FromColourValue(uint32_t value);
// The plain colour value of a colour; its alpha is dropped.
uint32_t ToColourValue(const QColor& colour);

}  // namespace vesk::gui
