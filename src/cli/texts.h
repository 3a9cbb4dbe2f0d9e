// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------


// ---- Key-less containers ----------------------------------------------------


// ---- Questions answered by an option ----------------------------------------
inline constexpr const char* kAnsweredYes = " -> 是";
inline constexpr const char* kAnsweredNo = " -> 否";


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------
inline constexpr const char* kShredHelp = "粉碎文件: 用零覆盖文件的全部内容一次，写到磁盘后删除 (慎用)";
inline constexpr const char* kShredFileHelp = "要粉碎的文件";
inline constexpr const char* kShredYesHelp = "每个文件的确认问题都回答“是”";
inline constexpr const char* kShredNoHelp = "每个文件的确认问题都回答“否”";


}  // namespace vesk::cli::text
