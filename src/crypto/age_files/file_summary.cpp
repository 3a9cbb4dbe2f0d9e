// What an inspection shows a person of an age file.
#include <sstream>

#include "crypto/age/hybrid_keys.h"
#include "crypto/age/ssh_keys.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/texts.h"

namespace vesk::age_files {
namespace {

// The people's name of a stanza type.
std::string Described(const std::string& type) {
  if (type == "X25519") return "X25519";
  if (type == "scrypt") return text::kInspectScrypt;
  if (type == age::kHybridStanzaType) return text::kInspectHybrid;
  if (type == age::kSshEd25519Type || type == age::kSshRsaType) return type + text::kInspectSsh;
  return type + text::kInspectOther;
}

}  // namespace

std::string InspectionText(const age::FileInfo& info) {
  std::ostringstream out;
  out << text::kInspectFormat << (info.armored ? text::kInspectArmored : text::kInspectBinary) << '\n';
  out << text::kInspectRecipients << '\n';
  for (const std::string& type : info.types) out << "  " << Described(type) << '\n';
  if (info.passphrase) out << text::kInspectWorkFactor << info.scrypt_log_n << '\n';
  out << text::kInspectPostQuantum << (info.post_quantum ? text::kInspectYes : text::kInspectNo) << '\n';
  out << text::kInspectHeaderSize << info.header_size << text::kInspectBytes << '\n';
  out << text::kInspectPayloadSize << info.payload_size << text::kInspectBytes << '\n';
  out << text::kInspectPlaintextSize << info.plaintext_size << text::kInspectBytes << '\n';
  return out.str();
}

}  // namespace vesk::age_files
