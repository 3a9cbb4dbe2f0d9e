#include "gui/display.h"
#include "gui/texts.h"

#include <cstdlib>

namespace vesk::gui {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool DisplayAvailable() { return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY"); }

std::string NoDisplayMessage() {
  return text::kNoDisplay;
}

}  // namespace vesk::gui
