#include "gui/display.h"

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
  return "vesk: 没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 都没有设置), 不能打开窗口。\n"
         "vesk: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
         "\n"
         "没有显示时请使用命令行版本 vesk-cli:\n"
         "  vesk-cli encrypt FILE --key-file KEYFILE      加密为 FILE.jmz (先正常压缩)\n"
         "  vesk-cli decrypt FILE.jmz --key-file KEYFILE  解密\n"
         "  vesk-cli compress FILE                        只压缩为 FILE.zak\n"
         "  vesk-cli decompress FILE.zak                  解压缩\n"
         "  vesk-cli --help                               全部选项\n";
}

}  // namespace vesk::gui
