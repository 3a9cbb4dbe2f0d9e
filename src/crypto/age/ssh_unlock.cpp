// Protected OpenSSH private keys (bcrypt_pbkdf and AES) are opened by
// libssh, loaded at run time: the programs link libcrypto statically and
// start on systems without libssh, which only a protected OpenSSH key needs.
// Loaded with its own symbols (RTLD_LOCAL), libssh uses the system's shared
// libcrypto and never ours. Where libssh is missing, or opens a key it
// cannot hand over (an RSA key in libssh 0.10), the system's ssh-keygen
// writes the key out unprotected into memory of ours.
#include <dlfcn.h>
#include <fcntl.h>
#include <libssh/libssh.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "crypto/age/ssh_keys.h"
#include "platform/page_cache_write.h"
#include "platform/process.h"

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

// The key file ssh-keygen works on: a file in memory (never a named file
// on a disk), 0600 as ssh-keygen wants a private key, given to it as its
// descriptor 3 and emptied when done.
class KeyInMemory {
 public:
  KeyInMemory() {
    fd_ = ::memfd_create("vesk-ssh-key", MFD_CLOEXEC);
    // Above 3: 0 to 3 are the descriptors the child is given.
    if (fd_ >= 0 && fd_ <= 3) {
      const int moved = ::fcntl(fd_, F_DUPFD_CLOEXEC, 10);
      ::close(fd_);
      fd_ = moved;
    }
    if (fd_ >= 0 && ::fchmod(fd_, 0600) != 0) Close();
  }
  ~KeyInMemory() { Close(); }
  KeyInMemory(const KeyInMemory&) = delete;
  KeyInMemory& operator=(const KeyInMemory&) = delete;
  int fd() const { return fd_; }

 private:
  void Close() {
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_size > 0) {
      const std::vector<uint8_t> zeros(static_cast<std::size_t>(st.st_size));
      WriteWholeAt(fd_, zeros.data(), zeros.size(), 0);
    }
    ::ftruncate(fd_, 0);
    ::close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

// What ssh-keygen made of the key.
enum class Keygen { kOpened, kWrongPassphrase, kUnavailable };

// Has ssh-keygen take the passphrase off the key (`ssh-keygen -p -m PEM -N
// ""`), the passphrase on its standard input: in a session of its own, with
// no terminal and no askpass program to turn to, it reads it from there.
Keygen UnlockWithSshKeygen(std::string_view text, const SecretBytes& passphrase, SecretBytes& plain) {
  // ssh-keygen reads one line of at most 1023 bytes.
  if (passphrase.size() > 1023 || std::memchr(passphrase.data(), '\n', passphrase.size()) != nullptr) {
    return Keygen::kUnavailable;
  }
  KeyInMemory key;
  if (key.fd() < 0 || WriteWholeAt(key.fd(), text.data(), text.size(), 0) != 0) {
    return Keygen::kUnavailable;
  }
  const std::optional<std::string> program = FindProgramOnPath("ssh-keygen");
  if (!program) return Keygen::kUnavailable;
  // The line waits in the socket (far below its buffer) for ssh-keygen to
  // read it, followed by the end of its input.
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return Keygen::kUnavailable;
  SecretBytes line(passphrase.size() + 1);
  if (passphrase.size() > 0) std::memcpy(line.data(), passphrase.data(), passphrase.size());
  line.data()[passphrase.size()] = '\n';
  const bool sent = ::send(ends[0], line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
  ::close(ends[0]);
  // No display and no askpass program either: it reads its standard input.
  const int status =
      sent ? RunWithoutTerminal({*program, "-q", "-p", "-m", "PEM", "-N", "", "-f", "/dev/fd/3"}, ends[1], key.fd(),
                                {"DISPLAY", "WAYLAND_DISPLAY", "SSH_ASKPASS", "SSH_ASKPASS_REQUIRE"})
           : -1;
  ::close(ends[1]);
  if (status != 0) return status == 255 ? Keygen::kWrongPassphrase : Keygen::kUnavailable;
  struct stat st {};
  if (::fstat(key.fd(), &st) != 0 || st.st_size <= 0 || st.st_size > (1 << 20)) return Keygen::kUnavailable;
  SecretBytes out(static_cast<std::size_t>(st.st_size));
  for (std::size_t got = 0; got < out.size();) {
    const ssize_t n = ::pread(key.fd(), out.data() + got, out.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Keygen::kUnavailable;
    got += static_cast<std::size_t>(n);
  }
  plain = std::move(out);
  return Keygen::kOpened;
}

// Opens the key with libssh.
SshKeyError UnlockWithLibssh(std::string_view text, const SecretBytes& passphrase, SecretBytes& plain) {
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

}  // namespace

SshKeyError UnlockOpenSshKey(std::string_view text, const SecretBytes& passphrase, SecretBytes& plain) {
  const SshKeyError e = UnlockWithLibssh(text, passphrase, plain);
  if (e != SshKeyError::kNoLibrary && e != SshKeyError::kCannotExport) return e;
  switch (UnlockWithSshKeygen(text, passphrase, plain)) {
    case Keygen::kOpened: return SshKeyError::kNone;
    // Only where libssh could not judge the passphrase: it already has.
    case Keygen::kWrongPassphrase: return e == SshKeyError::kNoLibrary ? SshKeyError::kWrongPassphrase : e;
    case Keygen::kUnavailable: return e;
  }
  return e;
}

}  // namespace vesk::age
