// The extension a keyed container stores for the file it holds, read from
// the unkeyed part of its header (no key needed): what the decryption will
// append to the name it is given.
#pragma once

#include <string>

namespace vesk::keyed {

// The stored extension (UTF-8, with its dot); empty when `path` is no
// readable container, stores none, or stores a damaged one.
std::string StoredExtension(const std::string& path);

}  // namespace vesk::keyed
