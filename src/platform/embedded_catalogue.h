// The English catalogue compiled into a program that travels without an
// installation (vesk-sfx): the bytes of the .mo file (library
// vesk_embedded_catalogue, made from po/en.po at build time).
#pragma once

#include <string_view>

namespace vesk {

std::string_view EmbeddedCatalogue();

}  // namespace vesk
