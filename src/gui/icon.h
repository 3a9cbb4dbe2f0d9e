// The program's icon, drawn in code so that the window, the desktop entry's
// bitmaps and any size in between come from one drawing.
#pragma once

#include <QIcon>
#include <QImage>

namespace vesk::gui {

// A square image of `size` pixels with a transparent background.
QImage DrawVeskIcon(int size);
// The icon at the usual sizes, for the window and the task bar.
QIcon VeskIcon();

}  // namespace vesk::gui
