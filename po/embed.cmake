# Writes the bytes of the file IN as the function EmbeddedCatalogue() into
# the C++ source OUT (see platform/embedded_catalogue.h).
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('[^']*',){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from the English catalogue; do not edit.\n"
  "#include \"platform/embedded_catalogue.h\"\n\n"
  "namespace {\nconst char kBytes[] = {\n${bytes}\n};\n}  // namespace\n\n"
  "std::string_view vesk::EmbeddedCatalogue() { return std::string_view(kBytes, ${size}); }\n")
