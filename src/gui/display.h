// Whether the window can open here, and what to say when it cannot.
#pragma once

#include <string>

namespace vesk::gui {

// True when a display server is named (DISPLAY or WAYLAND_DISPLAY) or a Qt
// platform is chosen explicitly (QT_QPA_PLATFORM).
bool DisplayAvailable();

// The explanation printed instead of opening the window, with the
// command-line program's usage.
std::string NoDisplayMessage();

}  // namespace vesk::gui
