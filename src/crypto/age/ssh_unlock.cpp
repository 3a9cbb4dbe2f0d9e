// Protected OpenSSH private keys (bcrypt_pbkdf and AES) are opened by
// libssh, loaded at run time: the programs link libcrypto statically and
// start on systems without libssh, which only a protected OpenSSH key needs.
// Loaded with its own symbols (RTLD_LOCAL), libssh uses the system's shared
// libcrypto and never ours.
#include <dlfcn.h>
#include <libssh/libssh.h>

#include <cstring>

#include "crypto/age/ssh_keys.h"

namespace vesk::age {
namespace {

struct Libssh {
  decltype(&ssh_pki_import_privkey_base64) import_key = nullptr;
  decltype(&ssh_pki_export_privkey_base64) export_key = nullptr;
  decltype(&ssh_key_free) free_key = nullptr;
  decltype(&ssh_string_free_char) free_text = nullptr;
};

const Libssh* LoadLibssh() {
  static const Libssh* const kLib = []() -> const Libssh* {
    void* handle = ::dlopen("libssh.so.4", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    static Libssh lib;
    lib.import_key = reinterpret_cast<decltype(lib.import_key)>(::dlsym(handle, "ssh_pki_import_privkey_base64"));
    lib.export_key = reinterpret_cast<decltype(lib.export_key)>(::dlsym(handle, "ssh_pki_export_privkey_base64"));
    lib.free_key = reinterpret_cast<decltype(lib.free_key)>(::dlsym(handle, "ssh_key_free"));
    lib.free_text = reinterpret_cast<decltype(lib.free_text)>(::dlsym(handle, "ssh_string_free_char"));
    if (lib.import_key == nullptr || lib.export_key == nullptr || lib.free_key == nullptr || lib.free_text == nullptr)
      return nullptr;
    return &lib;
  }();
  return kLib;
}

}  // namespace

SshKeyError UnlockOpenSshKey(std::string_view text, const SecretBytes& passphrase, SecretBytes& plain) {
  const Libssh* lib = LoadLibssh();
  if (lib == nullptr) return SshKeyError::kNoLibrary;
  // Both as C strings.
  SecretBytes key_text(text.size() + 1), pass(passphrase.size() + 1);
  std::memcpy(key_text.data(), text.data(), text.size());
  std::memcpy(pass.data(), passphrase.data(), passphrase.size());
  ssh_key key = nullptr;
  if (lib->import_key(reinterpret_cast<const char*>(key_text.data()), reinterpret_cast<const char*>(pass.data()),
                      nullptr, nullptr, &key) != SSH_OK || key == nullptr) {
    if (key != nullptr) lib->free_key(key);
    return SshKeyError::kWrongPassphrase;
  }
  char* exported = nullptr;
  const int rc = lib->export_key(key, nullptr, nullptr, nullptr, &exported);
  lib->free_key(key);
  // libssh 0.10 builds an RSA key from the OpenSSH form without its CRT
  // values and then cannot write it out: the passphrase was right, but the
  // key cannot be had this way.
  if (rc != SSH_OK || exported == nullptr) return SshKeyError::kCannotExport;
  const std::size_t n = std::strlen(exported);
  plain = SecretBytes(exported, n);
  Wipe(exported, n);
  lib->free_text(exported);
  return SshKeyError::kNone;
}

}  // namespace vesk::age
