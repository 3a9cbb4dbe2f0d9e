// Every text the window logic shows of its own (the engines' texts live in
// their layers' texts files), by name, one section per command family.
#pragma once

namespace vesk::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Batches and folders ----------------------------------------------------


// ---- Compression and keyed containers ---------------------------------------


// ---- Desktop registration ---------------------------------------------------
// Why nothing was registered: the running program's file is gone.
inline constexpr const char* kProgramGone = "本程序的文件已不在原处 (可能已被升级或删除), 请重新启动本程序后再试";


// ---- Key-less containers ----------------------------------------------------


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------
// The open dialog's filter.
inline constexpr const char* kShredFilter = "全部文件(*.*)|*.*";


// ---- Start-up and small commands --------------------------------------------


}  // namespace vesk::text
