# Writes the file IN, gzip-compressed, into the C++ source OUT as the
# function EmbeddedCatalogue(), which inflates it with zlib when called
# (see platform/embedded_catalogue.h).
file(ARCHIVE_CREATE OUTPUT ${OUT}.gz PATHS ${IN} FORMAT raw COMPRESSION GZip)
file(READ ${OUT}.gz hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('[^']*',){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from the English catalogue; do not edit.\n"
  "#include \"platform/embedded_catalogue.h\"\n\n"
  "#include <zlib.h>\n\n"
  "namespace {\nconst char kGzip[] = {\n${bytes}\n};\n}  // namespace\n\n"
  "std::string vesk::EmbeddedCatalogue() {\n"
  "  z_stream z{};\n"
  "  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return {};\n"
  "  std::string out;\n"
  "  char chunk[16384];\n"
  "  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kGzip));\n"
  "  z.avail_in = ${size};\n"
  "  int status = Z_OK;\n"
  "  while (status == Z_OK) {\n"
  "    z.next_out = reinterpret_cast<Bytef*>(chunk);\n"
  "    z.avail_out = sizeof chunk;\n"
  "    status = inflate(&z, Z_NO_FLUSH);\n"
  "    out.append(chunk, sizeof chunk - z.avail_out);\n"
  "  }\n"
  "  inflateEnd(&z);\n"
  "  return status == Z_STREAM_END ? out : std::string();\n"
  "}\n")
