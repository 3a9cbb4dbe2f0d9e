#include "crypto/keyed/stored_extension.h"

#include "crypto/keyed/header_reader.h"
#include "platform/control_characters.h"
#include "platform/file_io.h"
#include "platform/gbk.h"

namespace vesk::keyed {

std::string StoredExtension(const std::string& path) {
  try {
    InputFile in(path);
    const HeaderRead h = ReadHeader(in, 0, in.Size());
    // No header, or one whose extension is damaged or cut: the decryption
    // stores nothing either.
    if (h.fault != HeaderFault::kNone || h.extension_length_damaged || !h.ExtensionUsable()) return {};
    // As the decryption names its output: control characters replaced.
    return ReplaceControlCharacters(GbkToUtf8(h.extension));
  } catch (const IoError&) {
  }
  return {};
}

}  // namespace vesk::keyed
