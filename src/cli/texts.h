// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <string>

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------
// Among several files: this one did not come through.
inline std::string NotCompleted(const std::string& source) { return source + ": 没有完成。"; }
inline std::string EncryptSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!加密文件已取消。";
}


// ---- Key-less containers ----------------------------------------------------


// ---- Questions answered by an option ----------------------------------------
inline constexpr const char* kAnsweredYes = " -> 是";
inline constexpr const char* kAnsweredNo = " -> 否";


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------


}  // namespace vesk::cli::text
