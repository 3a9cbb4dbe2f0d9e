// The texts vesk-sfx shows of its own when a self-decrypting file is
// started without a terminal (double-clicked in a file manager).
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::sfx::text {

// The title of a desktop notification.
inline constexpr Tr kProgramName = Tr("Vesk 文件加密");
// Shown in the terminal the file opened in, once its run is over.
inline constexpr Tr kPressEnter = Tr("按回车键关闭这个窗口。");
// Neither the window nor a terminal could be started.
inline std::string NothingToShowIn(const std::string& file) {
  return Fill(Tr("“{1}” 是 Vesk 文件加密的自解密文件。没有找到 Vesk 文件加密的窗口程序 (vesk)，也没有找到终端程序，"
              "不能在这里解密：请安装 Vesk 文件加密后再双击它，或者在终端里运行 “{1}” self-decrypt。"),
              file);
}

}  // namespace vesk::sfx::text
