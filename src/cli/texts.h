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


}  // namespace vesk::cli::text
