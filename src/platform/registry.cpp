#include "platform/registry.h"

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vesk {

// ---------------------------------------------------------------------------
// The tree

namespace registry_detail {

struct Node {
  struct Value {
    std::string name;  // as created
    RegistryValueType type = RegistryValueType::String;
    std::string text;
    int32_t number = 0;
  };
  std::string name;                       // as created
  std::map<std::string, Node> children;   // by folded name
  std::map<std::string, Value> values;    // by folded name
};

struct Snapshot {
  Node tree;
  bool damaged = false;     // the file exists but does not parse
  bool unreadable = false;  // the file exists but cannot be read
};

}  // namespace registry_detail

using registry_detail::Node;
using registry_detail::Snapshot;

namespace {

constexpr std::string_view kSignature = "VeskRegistry 1";
// A file this large is not one this program wrote; reading it would only
// waste memory.
constexpr off_t kMaxFileSize = 64 << 20;

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the byte there
// does not start one. *cp receives the code point.
std::size_t Utf8Sequence(std::string_view s, std::size_t i, char32_t* cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  std::size_t n;
  char32_t v;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    v = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    v = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))) || (n == 4 && (v < 0x10000 || v > 0x10FFFF))) return 0;
  *cp = v;
  return n;
}

void AppendUtf8(std::string& out, char32_t v) {
  if (v < 0x80) {
    out += static_cast<char>(v);
  } else if (v < 0x800) {
    out += static_cast<char>(0xC0 | (v >> 6));
    out += static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    out += static_cast<char>(0xE0 | (v >> 12));
    out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (v & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (v >> 18));
    out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (v & 0x3F));
  }
}

// Names compare by their upper-case form, as registry names do. Letters
// beyond ASCII fold through the C.UTF-8 tables when the C library has them;
// bytes that are not UTF-8 stay as they are.
std::string Fold(std::string_view s) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    const std::size_t n = Utf8Sequence(s, i, &cp);
    if (n == 0) {
      out += s[i++];
      continue;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp);
    } else if (utf8 != static_cast<locale_t>(0)) {
      const wint_t up = towupper_l(static_cast<wint_t>(cp), utf8);
      AppendUtf8(out, static_cast<char32_t>(up));
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> segments;
  if (path.empty()) return segments;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find('\\', start);
    std::string_view seg = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (seg.empty()) throw RegistryError("registry path with an empty segment: " + std::string(path));
    segments.emplace_back(seg);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return segments;
}

// ---------------------------------------------------------------------------
// The text file
//
//   VeskRegistry 1 HKEY_CURRENT_USER
//   [SOFTWARE\Vesk 文件加密]
//   "zzll"=dword:00000002
//   @="a string"
//
// Key paths escape "%", control characters and bytes that are not UTF-8 as
// %HH (segments never contain "\"). Names and strings are quoted; "\" and
// '"', control characters and non-UTF-8 bytes are escaped C-style.

const char kHex[] = "0123456789ABCDEF";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

template <typename Plain, typename Escape>
void EscapeInto(std::string& out, std::string_view s, Plain plain, Escape escape) {
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    const std::size_t n = Utf8Sequence(s, i, &cp);
    if (n > 1 || (n == 1 && plain(static_cast<char>(cp)))) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      escape(out, static_cast<unsigned char>(s[i]));
      ++i;
    }
  }
}

void AppendKeySegment(std::string& out, std::string_view s) {
  EscapeInto(
      out, s, [](char c) { return c >= 0x20 && c != 0x7F && c != '%'; },
      [](std::string& o, unsigned char c) {
        o += '%';
        o += kHex[c >> 4];
        o += kHex[c & 15];
      });
}

void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  EscapeInto(
      out, s, [](char c) { return c >= 0x20 && c != 0x7F && c != '"' && c != '\\'; },
      [](std::string& o, unsigned char c) {
        switch (c) {
          case '"': o += "\\\""; break;
          case '\\': o += "\\\\"; break;
          case '\n': o += "\\n"; break;
          case '\r': o += "\\r"; break;
          case '\t': o += "\\t"; break;
          default:
            o += "\\x";
            o += kHex[c >> 4];
            o += kHex[c & 15];
        }
      });
  out += '"';
}

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
}

void SerializeNode(std::string& out, const Node& node, const std::string& path, bool is_root) {
  // Every key gets its header, so that keys without values survive too.
  if (!is_root || !node.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
  }
  for (const auto& [folded, v] : node.values) {
    if (v.name.empty()) {
      out += '@';
    } else {
      AppendQuoted(out, v.name);
    }
    out += '=';
    if (v.type == RegistryValueType::Integer) {
      out += "dword:";
      const auto u = static_cast<uint32_t>(v.number);
      for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
    } else {
      AppendQuoted(out, v.text);
    }
    out += '\n';
  }
  for (const auto& [folded, child] : node.children) {
    std::string child_path = path;
    if (!is_root) child_path += '\\';
    AppendKeySegment(child_path, child.name);
    SerializeNode(out, child, child_path, false);
  }
}

struct ParseError {};

// Reads a quoted string starting at line[*pos] (the opening quote).
std::string ParseQuoted(std::string_view line, std::size_t* pos) {
  std::size_t i = *pos;
  if (i >= line.size() || line[i] != '"') throw ParseError{};
  ++i;
  std::string out;
  while (true) {
    if (i >= line.size()) throw ParseError{};
    const char c = line[i++];
    if (c == '"') break;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i >= line.size()) throw ParseError{};
    const char e = line[i++];
    switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (i + 2 > line.size()) throw ParseError{};
        const int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) throw ParseError{};
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: throw ParseError{};
    }
  }
  *pos = i;
  return out;
}

std::string DecodeKeySegment(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) throw ParseError{};
    const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) throw ParseError{};
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  if (out.empty()) throw ParseError{};
  return out;
}

Node* Descend(Node& node, const std::string& name) {
  const std::string folded = Fold(name);
  auto it = node.children.find(folded);
  if (it == node.children.end()) {
    it = node.children.emplace(folded, Node{}).first;
    it->second.name = name;
  }
  return &it->second;
}

Node Parse(std::string_view text) {
  Node tree;
  Node* current = nullptr;
  bool first = true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line.substr(0, kSignature.size()) != kSignature) throw ParseError{};
      first = false;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') throw ParseError{};
      const std::string_view path = line.substr(1, line.size() - 2);
      current = &tree;
      if (!path.empty()) {
        std::size_t s = 0;
        while (true) {
          const std::size_t e = path.find('\\', s);
          current = Descend(*current, DecodeKeySegment(path.substr(s, e == std::string_view::npos ? e : e - s)));
          if (e == std::string_view::npos) break;
          s = e + 1;
        }
      }
      continue;
    }
    if (current == nullptr) throw ParseError{};
    Node::Value v;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else {
      v.name = ParseQuoted(line, &pos);
      if (v.name.empty()) throw ParseError{};  // the default value is written as @
    }
    if (pos >= line.size() || line[pos] != '=') throw ParseError{};
    ++pos;
    const std::string_view rest = line.substr(pos);
    if (rest.substr(0, 6) == "dword:") {
      const std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8) throw ParseError{};
      uint32_t u = 0;
      for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) throw ParseError{};
        u = u * 16 + static_cast<uint32_t>(d);
      }
      v.type = RegistryValueType::Integer;
      v.number = static_cast<int32_t>(u);
    } else {
      v.type = RegistryValueType::String;
      v.text = ParseQuoted(line, &pos);
      if (pos != line.size()) throw ParseError{};
    }
    current->values[Fold(v.name)] = std::move(v);
  }
  return tree;
}

// ---------------------------------------------------------------------------
// Files

[[noreturn]] void FailErrno(const std::string& what) {
  throw RegistryError(what + ": " + std::strerror(errno));
}

void MakeDirectories(const std::string& dir) {
  if (dir.empty()) throw RegistryError("registry directory not set");
  std::size_t pos = 0;
  while (true) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) FailErrno("cannot create " + part);
    if (pos == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw RegistryError("not a directory: " + dir);
}

void WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailErrno("cannot write registry file");
    }
    done += static_cast<std::size_t>(n);
  }
}

// Replaces `path` by a file holding `data`: the new content goes to a fresh
// temporary file beside it, reaches the disk, and only then takes the name.
void WriteFileAtomically(const std::string& dir, const std::string& path, const std::string& data) {
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) FailErrno("cannot create a temporary file in " + dir);
  try {
    WriteAll(fd, data);
    if (::fsync(fd) != 0) FailErrno("cannot flush registry file");
    const int rc = ::close(fd);
    if (rc != 0) {
      ::unlink(tmp.c_str());
      FailErrno("cannot close registry file");
    }
  } catch (...) {
    ::close(fd);
    ::unlink(tmp.c_str());
    throw;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    FailErrno("cannot replace " + path);
  }
  // Make the rename itself durable; a failure here no longer risks the data.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

// Holds an exclusive lock on the store's lock file for the duration of one
// read-change-write, so that two writers never lose each other's changes.
class StoreLock {
 public:
  explicit StoreLock(const std::string& dir) {
    const std::string path = dir + "/registry.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) FailErrno("cannot open " + path);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        FailErrno("cannot lock " + path);
      }
    }
  }
  ~StoreLock() { ::close(fd_); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int fd_ = -1;
};

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  char buf[4096];
  if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &result) == 0 && result != nullptr && pw.pw_dir != nullptr) {
    return pw.pw_dir;
  }
  return "/tmp";
}

const Node* Find(const Node& tree, const std::vector<std::string>& segments) {
  const Node* node = &tree;
  for (const std::string& seg : segments) {
    auto it = node->children.find(Fold(seg));
    if (it == node->children.end()) return nullptr;
    node = &it->second;
  }
  return node;
}

Node* Find(Node& tree, const std::vector<std::string>& segments) {
  return const_cast<Node*>(Find(static_cast<const Node&>(tree), segments));
}

}  // namespace

// ---------------------------------------------------------------------------
// Registry

Registry::Registry(std::string directory) : directory_(std::move(directory)) {
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

std::string Registry::DefaultDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // Relative values are invalid by the base-directory rules and are ignored.
  const std::string base = (xdg != nullptr && xdg[0] == '/') ? std::string(xdg) : HomeDirectory() + "/.config";
  return base + "/vesk";
}

Registry& Registry::User() {
  static Registry registry(DefaultDirectory());
  return registry;
}

std::string Registry::FilePath(RegistryRoot root) const {
  return directory_ + (root == RegistryRoot::CurrentUser ? "/registry-current-user.txt" : "/registry-classes-root.txt");
}

Snapshot Registry::Load(RegistryRoot root) const {
  Snapshot snap;
  const std::string path = FilePath(root);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    snap.unreadable = errno != ENOENT && errno != ENOTDIR;
    return snap;
  }
  struct stat st {};
  std::string text;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
  if (ok) {
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (ok) {
      if (done == text.size()) text.resize(text.size() + 4096);  // the file may have grown
      const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
      if (done > static_cast<std::size_t>(kMaxFileSize)) ok = false;
    }
    text.resize(done);
  }
  ::close(fd);
  if (!ok) {
    snap.unreadable = true;
    return snap;
  }
  if (text.empty()) return snap;  // an empty file holds an empty root
  try {
    snap.tree = Parse(text);
  } catch (const ParseError&) {
    snap.tree = Node{};
    snap.damaged = true;
  }
  return snap;
}

void Registry::Mutate(RegistryRoot root, const std::function<bool(Node&)>& change) {
  std::lock_guard guard(mutex_);
  struct stat st {};
  if (::stat(directory_.c_str(), &st) != 0) {
    // No store yet: a change that finds nothing to do must not create one.
    Node empty;
    if (!change(empty)) return;
  }
  MakeDirectories(directory_);
  StoreLock lock(directory_);
  Snapshot snap = Load(root);
  const std::string path = FilePath(root);
  // Replacing a file that exists but cannot be read would destroy it unseen.
  if (snap.unreadable) throw RegistryError("cannot read " + path);
  if (!change(snap.tree)) return;
  std::string text(kSignature);
  text += ' ';
  text += RootName(root);
  text += '\n';
  SerializeNode(text, snap.tree, std::string(), true);
  if (snap.damaged) {
    // Keep the damaged file for inspection rather than overwriting it.
    const std::string kept = path + ".damaged";
    if (::rename(path.c_str(), kept.c_str()) != 0) FailErrno("cannot set aside damaged " + path);
  }
  WriteFileAtomically(directory_, path, text);
}

std::optional<RegistryKey> Registry::OpenKey(RegistryRoot root, std::string_view path, bool create) {
  std::vector<std::string> segments = SplitPath(path);
  if (create) {
    Mutate(root, [&](Node& tree) {
      Node* node = &tree;
      bool created = false;
      for (const std::string& seg : segments) {
        const std::string folded = Fold(seg);
        auto it = node->children.find(folded);
        if (it == node->children.end()) {
          it = node->children.emplace(folded, Node{}).first;
          it->second.name = seg;
          created = true;
        }
        node = &it->second;
      }
      return created;  // an existing key needs no write
    });
  } else if (Find(Load(root).tree, segments) == nullptr) {
    return std::nullopt;
  }
  return RegistryKey(this, root, std::move(segments));
}

bool Registry::KeyExists(RegistryRoot root, std::string_view path) {
  return Find(Load(root).tree, SplitPath(path)) != nullptr;
}

bool Registry::DeleteKey(RegistryRoot root, std::string_view path) {
  std::vector<std::string> segments = SplitPath(path);
  if (segments.empty()) return false;
  const std::string leaf = Fold(segments.back());
  segments.pop_back();
  bool deleted = false;
  Mutate(root, [&](Node& tree) {
    Node* parent = Find(tree, segments);
    deleted = parent != nullptr && parent->children.erase(leaf) > 0;
    return deleted;
  });
  return deleted;
}

// ---------------------------------------------------------------------------
// RegistryKey

std::string RegistryKey::Path() const {
  const Snapshot snap = registry_->Load(root_);
  const Node* node = &snap.tree;
  std::string out;
  for (const std::string& seg : segments_) {
    if (!out.empty()) out += '\\';
    if (node != nullptr) {
      auto it = node->children.find(Fold(seg));
      node = it == node->children.end() ? nullptr : &it->second;
    }
    out += node != nullptr ? node->name : seg;
  }
  return out;
}

bool RegistryKey::Exists() const { return Find(registry_->Load(root_).tree, segments_) != nullptr; }

RegistryRead<std::string> RegistryKey::ReadString(std::string_view name) const {
  RegistryRead<std::string> r;
  const Snapshot snap = registry_->Load(root_);
  const Node* node = Find(snap.tree, segments_);
  if (node == nullptr) return r;
  auto it = node->values.find(Fold(name));
  if (it == node->values.end()) return r;
  if (it->second.type != RegistryValueType::String) {
    r.status = ReadStatus::WrongType;
    return r;
  }
  r.status = ReadStatus::Ok;
  r.value = it->second.text;
  return r;
}

RegistryRead<int32_t> RegistryKey::ReadInteger(std::string_view name) const {
  RegistryRead<int32_t> r;
  const Snapshot snap = registry_->Load(root_);
  const Node* node = Find(snap.tree, segments_);
  if (node == nullptr) return r;
  auto it = node->values.find(Fold(name));
  if (it == node->values.end()) return r;
  if (it->second.type != RegistryValueType::Integer) {
    r.status = ReadStatus::WrongType;
    return r;
  }
  r.status = ReadStatus::Ok;
  r.value = it->second.number;
  return r;
}

bool RegistryKey::ValueExists(std::string_view name) const { return ValueType(name).has_value(); }

std::optional<RegistryValueType> RegistryKey::ValueType(std::string_view name) const {
  const Snapshot snap = registry_->Load(root_);
  const Node* node = Find(snap.tree, segments_);
  if (node == nullptr) return std::nullopt;
  auto it = node->values.find(Fold(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.type;
}

std::vector<std::string> RegistryKey::ValueNames() const {
  std::vector<std::string> names;
  const Snapshot snap = registry_->Load(root_);
  if (const Node* node = Find(snap.tree, segments_)) {
    for (const auto& [folded, v] : node->values) names.push_back(v.name);
  }
  return names;
}

void RegistryKey::WriteString(std::string_view name, std::string_view value) {
  registry_->Mutate(root_, [&](Node& tree) {
    Node* node = Find(tree, segments_);
    if (node == nullptr) throw RegistryError("registry key was deleted");
    Node::Value& v = node->values[Fold(name)];
    if (v.name.empty()) v.name = name;
    v.type = RegistryValueType::String;
    v.text = value;
    v.number = 0;
    return true;
  });
}

void RegistryKey::WriteInteger(std::string_view name, int32_t value) {
  registry_->Mutate(root_, [&](Node& tree) {
    Node* node = Find(tree, segments_);
    if (node == nullptr) throw RegistryError("registry key was deleted");
    Node::Value& v = node->values[Fold(name)];
    if (v.name.empty()) v.name = name;
    v.type = RegistryValueType::Integer;
    v.text.clear();
    v.number = value;
    return true;
  });
}

bool RegistryKey::DeleteValue(std::string_view name) {
  bool deleted = false;
  registry_->Mutate(root_, [&](Node& tree) {
    Node* node = Find(tree, segments_);
    deleted = node != nullptr && node->values.erase(Fold(name)) > 0;
    return deleted;
  });
  return deleted;
}

bool RegistryKey::HasSubKey(std::string_view name) const {
  const Snapshot snap = registry_->Load(root_);
  const Node* node = Find(snap.tree, segments_);
  return node != nullptr && node->children.count(Fold(name)) > 0;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  std::vector<std::string> names;
  const Snapshot snap = registry_->Load(root_);
  if (const Node* node = Find(snap.tree, segments_)) {
    for (const auto& [folded, child] : node->children) names.push_back(child.name);
  }
  return names;
}

}  // namespace vesk
