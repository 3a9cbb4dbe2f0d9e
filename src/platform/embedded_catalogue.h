// The English catalogue compiled into a program that travels without an
// installation (vesk-sfx): the bytes of the .mo file, kept gzip-compressed
// in the program (library vesk_embedded_catalogue, made from po/en.po at
// build time; it inflates with zlib). Empty if they cannot be inflated.
#pragma once

#include <string>

namespace vesk {

std::string EmbeddedCatalogue();

}  // namespace vesk
