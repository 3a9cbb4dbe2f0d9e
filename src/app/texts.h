// Every text the window logic shows of its own (the engines' texts live in
// their layers' texts files), by name, one section per command family.
#pragma once

namespace vesk::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Batches and folders ----------------------------------------------------


// ---- Compression and keyed containers ---------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- Key-less containers ----------------------------------------------------


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------
// The open dialog's filter.
inline constexpr const char* kShredFilter = "全部文件(*.*)|*.*";


// ---- Start-up and small commands --------------------------------------------


}  // namespace vesk::text
