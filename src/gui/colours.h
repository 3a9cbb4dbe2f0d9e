// Colours as the settings hold them: 32-bit values 0x00BBGGRR for a plain
// colour and 0xFF0000nn for system colour nn.
#pragma once

#include <cstdint>

#include <QColor>

namespace vesk::gui {

// The colour a stored value shows. System colours take the usual values of
// the desktop they were chosen on; other high bytes are ignored.
QColor FromColourValue(uint32_t value);

}  // namespace vesk::gui
