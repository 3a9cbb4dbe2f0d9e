#include "archive/unpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <unordered_map>
#include <utility>

#include "archive/folder_chain.h"
#include "archive/names_locale.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk::archive {
namespace {

constexpr std::size_t kReadSize = std::size_t{1} << 20;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int64_t kRecord = 512;
constexpr std::string_view kStagingPrefix = ".vesk-";
constexpr std::string_view kStagingSuffix = ".unpack";

[[noreturn]] void Fail(UnpackError::Kind kind, const std::string& name, const std::string& detail) {
  throw UnpackError(kind, name, detail);
}
[[noreturn]] void FailWrite(const std::string& name, int error) {
  throw UnpackError(UnpackError::Kind::kWrite, name, std::strerror(error), error);
}

// The components of a stored name, with "." and empty ones dropped; nothing
// for a name that is absolute or climbs with "..".
std::optional<std::vector<std::string>> Components(const std::string& name) {
  if (!name.empty() && name[0] == '/') return std::nullopt;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::size_t count) {
  std::string joined;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) joined += '/';
    joined += parts[i];
  }
  return joined;
}

void WriteAll(int fd, const void* data, std::size_t n, const std::string& name) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      FailWrite(name, errno);
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
}

// Removes what this run built under `parent`/`leaf`, never following a link:
// folders are opened without following, everything else is unlinked.
// Removes `leaf` in `parent` and everything below it, the deepest first,
// holding only a few descriptors however deep the tree.
void RemoveTree(int parent, const std::string& leaf) {
  FolderChain chain(parent);
  std::vector<std::vector<std::string>> folders;  // per level: the folders still to remove
  // Enters `name` in the deepest folder: its files go at once, its folders
  // are listed for later; false when it is no folder.
  auto enter = [&](const std::string& name) {
    if (!chain.Push(name)) return false;
    const int fd = chain.Back();
    ::fchmod(fd, 0700);  // a folder made read-only by its stored mode
    std::vector<std::string> names;
    if (DIR* dir = ::fdopendir(::dup(fd))) {
      while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
      }
      ::closedir(dir);
    }
    std::vector<std::string> below;
    for (std::string& n : names) {
      struct stat st {};
      if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        below.push_back(std::move(n));
      } else {
        ::unlinkat(fd, n.c_str(), 0);
      }
    }
    folders.push_back(std::move(below));
    return true;
  };
  if (!enter(leaf)) {
    ::unlinkat(parent, leaf.c_str(), 0);
    return;
  }
  while (!folders.empty()) {
    if (!folders.back().empty()) {
      const std::string next = std::move(folders.back().back());
      folders.back().pop_back();
      if (!enter(next)) {
        const int at = chain.Back();
        if (at >= 0) ::unlinkat(at, next.c_str(), 0);
      }
      continue;
    }
    const std::string done = chain.name(chain.size() - 1);
    folders.pop_back();
    chain.Truncate(chain.size() - 1);
    const int at = chain.Back();
    if (at >= 0) ::unlinkat(at, done.c_str(), AT_REMOVEDIR);
  }
}

// The libarchive reader over the source. An exception of the source cannot
// pass through the library (C code), so it is kept and thrown again.
class Reader {
 public:
  Reader(ByteSource& source, const UnpackControl& control)
      : source_(source), control_(control), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kReadSize)),
        a_(archive_read_new()) {
    if (!a_) throw std::bad_alloc();
    archive_read_support_format_tar(a_.get());
    Check(archive_read_open(a_.get(), this, nullptr, &Reader::Pull, nullptr), "");
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  struct archive* get() { return a_.get(); }
  int64_t Delivered() const { return delivered_; }

  // A warning (a name the library could not convert, kept as stored) is no
  // failure; anything worse is a damaged stream, or the source's own failure.
  void Check(int rc, const std::string& name) {
    if (rc >= ARCHIVE_WARN) return;
    if (failure_) std::rethrow_exception(failure_);
    const char* detail = archive_error_string(a_.get());
    Fail(UnpackError::Kind::kDamaged, name, detail != nullptr ? detail : "");
  }

 private:
  static la_ssize_t Pull(struct archive* a, void* self, const void** data) {
    auto* r = static_cast<Reader*>(self);
    try {
      const std::size_t n = r->source_.Read(r->buffer_.get(), kReadSize);
      r->delivered_ += static_cast<int64_t>(n);
      if (r->control_.progress) r->control_.progress(r->delivered_);
      *data = r->buffer_.get();
      return static_cast<la_ssize_t>(n);
    } catch (...) {
      r->failure_ = std::current_exception();
      archive_set_error(a, EIO, "the source failed");
      return -1;
    }
  }

  struct FreeArchive {
    void operator()(struct archive* a) const { archive_read_free(a); }
  };

  ByteSource& source_;
  const UnpackControl& control_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t delivered_ = 0;
  std::exception_ptr failure_;
  // Last: freed first, while the members above are still there.
  std::unique_ptr<struct archive, FreeArchive> a_;
};

class Unpacker {
 public:
  Unpacker(ByteSource& source, const std::string& target, const UnpackControl& control)
      : source_(source), control_(control), target_(target) {}
  ~Unpacker() {
    chain_.reset();
    if (root_ >= 0) ::close(root_);
    if (!hidden_.empty()) RemoveTree(parent_, hidden_);
    if (parent_ >= 0) ::close(parent_);
  }
  Unpacker(const Unpacker&) = delete;
  Unpacker& operator=(const Unpacker&) = delete;

  UnpackStats Run();

 private:
  struct Fixup {
    std::string path;     // below the root
    mode_t mode = 0;
    timespec mtime{0, UTIME_OMIT};
    bool stored = false;  // an entry of the stream (else made for the entries in it)
  };

  bool Stopped() const {
    return control_.stop.StopRequested() ||
           (control_.keep != nullptr && !control_.keep->load(std::memory_order_relaxed));
  }
  void MakeRoot();
  void RemoveStaleFolders();
  void ApplyFolderModes(int base, bool below_top);
  void Entry(archive_entry* e, Reader& reader);
  int OpenFolder(const std::vector<std::string>& parts, std::size_t count, bool create, const std::string& name);
  void MakeFolder(int parent, const std::vector<std::string>& parts, archive_entry* e, const std::string& name);
  void MakeFile(int parent, const std::string& leaf, archive_entry* e, Reader& reader, const std::string& name);
  void MakeLink(int parent, const std::string& leaf, archive_entry* e, const std::string& name);
  void MakeHardLink(int parent, const std::string& leaf, archive_entry* e, const std::string& name);
  mode_t StoredMode(archive_entry* e, const std::string& name);
  static timespec StoredTime(archive_entry* e);
  void Finish();

  ByteSource& source_;
  const UnpackControl& control_;
  const std::string target_;
  std::string leaf_;          // the target's name in its folder
  int parent_ = -1;           // the folder the target goes into
  std::string hidden_;        // the folder being built, in parent_
  int root_ = -1;             // ... and open
  UnpackStats stats_;
  // The folders from the root down to the one last used.
  std::optional<FolderChain> chain_;
  std::vector<Fixup> folders_;  // every folder made, in the order made
  std::unordered_map<std::string, std::size_t> folder_index_;
  mode_t umask_ = 022;
  // Whether every entry lies in one top folder, and which.
  std::string top_;
  bool one_top_ = true;
};

void Unpacker::MakeRoot() {
  std::string folder = FolderOf(target_);
  leaf_ = ExtractFileName(target_);
  if (leaf_.empty() || leaf_ == "." || leaf_ == "..") Fail(UnpackError::Kind::kWrite, target_, "no folder name");
  parent_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent_ < 0) FailWrite(target_, errno);
  struct stat st {};
  if (::fstatat(parent_, leaf_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) Fail(UnpackError::Kind::kExists, target_, "");
  RemoveStaleFolders();
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  for (int attempt = 0; attempt < 100 && hidden_.empty(); ++attempt) {
    std::string name = StagingNamePrefix(kStagingPrefix);
    for (int i = 0; i < 6; ++i) name += kLetters[device() % (sizeof kLetters - 1)];
    name += kStagingSuffix;
    if (::mkdirat(parent_, name.c_str(), 0700) == 0) {
      hidden_ = name;
    } else if (errno != EEXIST) {
      FailWrite(target_, errno);
    }
  }
  if (hidden_.empty()) FailWrite(target_, EEXIST);
  root_ = ::openat(parent_, hidden_.c_str(), kFolderFlags);
  if (root_ < 0) FailWrite(target_, errno);
  chain_.emplace(root_);
  umask_ = CurrentUmask();
}

// The staging folders of this user's runs that ended without removing them
// (a crash, a kill) go before a new one is made beside them.
void Unpacker::RemoveStaleFolders() {
  std::vector<std::string> stale;
  if (DIR* dir = ::fdopendir(::dup(parent_))) {
    while (const dirent* e = ::readdir(dir)) {
      if (StagingNameOfGoneProcess(e->d_name, kStagingPrefix, kStagingSuffix)) stale.emplace_back(e->d_name);
    }
    ::closedir(dir);
  }
  for (const std::string& name : stale) {
    struct stat st {};
    if (::fstatat(parent_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid()) {
      RemoveTree(parent_, name);
    }
  }
}

// The folder made of the first `count` parts, opened from the root one part
// at a time without following links. A part that does not exist is made
// (when `create`) as a folder for the entries in it; a part that is a link
// or a file is refused: the entry would land somewhere else.
int Unpacker::OpenFolder(const std::vector<std::string>& parts, std::size_t count, bool create,
                         const std::string& name) {
  for (;;) {
    const int fd = chain_->Reach(std::span(parts).first(count));
    if (fd >= 0) return fd;
    const std::size_t i = chain_->size();  // the part not opened
    if (errno == ENOENT && create && i < count) {
      const int at = chain_->Back();
      if (at < 0 || ::mkdirat(at, parts[i].c_str(), 0700) != 0) FailWrite(name, errno);
      const std::string path = Join(parts, i + 1);
      folder_index_.emplace(path, folders_.size());
      folders_.push_back({path, static_cast<mode_t>(0777 & ~umask_), {0, UTIME_OMIT}, false});
      continue;
    }
    if (errno == ELOOP || errno == ENOTDIR) Fail(UnpackError::Kind::kUnsafe, name, "through a link or a file");
    if (errno == ENOENT) Fail(UnpackError::Kind::kUnsafe, name, "no such folder");
    FailWrite(name, errno);
  }
}

// The stored bits without set-user-ID and set-group-ID; a user other than
// root also loses what the umask takes away, as with tar, so that a received
// folder is no more open than the user's own files.
mode_t Unpacker::StoredMode(archive_entry* e, const std::string& name) {
  const mode_t mode = archive_entry_perm(e) & 07777;
  if ((mode & (S_ISUID | S_ISGID)) != 0) stats_.cleared.push_back(name);
  const mode_t masked = ::geteuid() == 0 ? mode : mode & ~umask_;
  return masked & ~static_cast<mode_t>(S_ISUID | S_ISGID);
}

timespec Unpacker::StoredTime(archive_entry* e) {
  if (!archive_entry_mtime_is_set(e)) return {0, UTIME_OMIT};
  return {static_cast<time_t>(archive_entry_mtime(e)), archive_entry_mtime_nsec(e)};
}

void Unpacker::MakeFolder(int parent, const std::vector<std::string>& parts, archive_entry* e,
                          const std::string& name) {
  const std::string path = Join(parts, parts.size());
  auto found = folder_index_.find(path);
  if (found != folder_index_.end()) {
    // Made earlier for the entries in it; a second entry of its own is a
    // duplicate.
    Fixup& f = folders_[found->second];
    if (f.stored) Fail(UnpackError::Kind::kUnsafe, name, "stored twice");
    f = {path, StoredMode(e, name), StoredTime(e), true};
  } else {
    if (::mkdirat(parent, parts.back().c_str(), 0700) != 0) {
      if (errno == EEXIST) Fail(UnpackError::Kind::kUnsafe, name, "stored twice");
      FailWrite(name, errno);
    }
    folder_index_.emplace(path, folders_.size());
    folders_.push_back({path, StoredMode(e, name), StoredTime(e), true});
  }
  ++stats_.folders;
}

void Unpacker::MakeFile(int parent, const std::string& leaf, archive_entry* e, Reader& reader,
                        const std::string& name) {
  const int fd = ::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) Fail(UnpackError::Kind::kUnsafe, name, "stored twice");
    FailWrite(name, errno);
  }
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{fd};
  const int64_t size = archive_entry_size_is_set(e) ? archive_entry_size(e) : 0;
  int64_t pos = 0;
  for (;;) {
    const void* data = nullptr;
    size_t n = 0;
    la_int64_t offset = 0;
    const int rc = archive_read_data_block(reader.get(), &data, &n, &offset);
    if (rc == ARCHIVE_EOF) break;
    reader.Check(rc, name);
    // Pieces of a sparse file come with their place; a gap stays a hole.
    if (offset < pos || offset > size || static_cast<int64_t>(n) > size - offset) {
      Fail(UnpackError::Kind::kDamaged, name, "data outside the file");
    }
    if (offset > pos && ::lseek(fd, offset, SEEK_SET) < 0) FailWrite(name, errno);
    WriteAll(fd, data, n, name);
    pos = offset + static_cast<int64_t>(n);
    if (Stopped()) return;
  }
  if (pos < size && ::ftruncate(fd, size) != 0) FailWrite(name, errno);
  const timespec times[2] = {{0, UTIME_NOW}, StoredTime(e)};
  if (::fchmod(fd, StoredMode(e, name)) != 0 || ::futimens(fd, times) != 0) FailWrite(name, errno);
  closer.fd = -1;
  if (::close(fd) != 0) FailWrite(name, errno);
  ++stats_.files;
  stats_.bytes += size;
}

void Unpacker::MakeLink(int parent, const std::string& leaf, archive_entry* e, const std::string& name) {
  const char* to = archive_entry_symlink(e);
  if (to == nullptr || *to == '\0') Fail(UnpackError::Kind::kDamaged, name, "a link to nothing");
  if (::symlinkat(to, parent, leaf.c_str()) != 0) {
    if (errno == EEXIST) Fail(UnpackError::Kind::kUnsafe, name, "stored twice");
    FailWrite(name, errno);
  }
  const timespec times[2] = {{0, UTIME_NOW}, StoredTime(e)};
  ::utimensat(parent, leaf.c_str(), times, AT_SYMLINK_NOFOLLOW);  // not every file system keeps a link's time
  ++stats_.links;
}

// A further name of a regular file unpacked before, found from the root
// without following links.
void Unpacker::MakeHardLink(int parent, const std::string& leaf, archive_entry* e, const std::string& name) {
  const auto to = Components(archive_entry_hardlink(e));
  if (!to || to->empty()) Fail(UnpackError::Kind::kUnsafe, name, "a hard link outside the folder");
  FolderChain folders(root_);
  const int at = folders.Reach(std::span(*to).first(to->size() - 1));
  if (at < 0) Fail(UnpackError::Kind::kUnsafe, name, "a hard link to no unpacked file");
  struct stat st {};
  if (::fstatat(at, to->back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
    Fail(UnpackError::Kind::kUnsafe, name, "a hard link to no unpacked file");
  }
  if (::linkat(at, to->back().c_str(), parent, leaf.c_str(), 0) != 0) {
    if (errno == EEXIST) Fail(UnpackError::Kind::kUnsafe, name, "stored twice");
    FailWrite(name, errno);
  }
  ++stats_.links;
}

void Unpacker::Entry(archive_entry* e, Reader& reader) {
  const char* stored = archive_entry_pathname(e);
  const std::string name = stored != nullptr ? stored : "";
  const auto parts = Components(name);
  if (!parts) Fail(UnpackError::Kind::kUnsafe, name, "a name outside the folder");
  if (parts->empty()) return;  // the folder itself ("./")
  const bool hard = archive_entry_hardlink(e) != nullptr;
  const mode_t type = archive_entry_filetype(e);
  if (!hard && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
    stats_.skipped.push_back(name);
    return;
  }
  if (top_.empty()) top_ = (*parts)[0];
  if ((*parts)[0] != top_ || (parts->size() == 1 && (hard || type != AE_IFDIR))) one_top_ = false;

  const int parent = OpenFolder(*parts, parts->size() - 1, true, name);
  if (hard) return MakeHardLink(parent, parts->back(), e, name);
  switch (type) {
    case AE_IFDIR: return MakeFolder(parent, *parts, e, name);
    case AE_IFLNK: return MakeLink(parent, parts->back(), e, name);
    default: return MakeFile(parent, parts->back(), e, reader, name);
  }
}

// The tree is renamed into place first, then folders get their stored mode
// and time, the deepest first, as tar does: making the entries in a folder
// changes its time, a read-only folder could not take them, and a folder
// moved to another parent has to be writable by a user who is not root.
void Unpacker::Finish() {
  chain_->Truncate(0);
  int from_folder = parent_;
  std::string from = hidden_;
  const bool below_top = one_top_ && !top_.empty();
  int base = root_;
  if (below_top) {
    from_folder = root_;
    from = top_;
    base = ::openat(root_, top_.c_str(), kFolderFlags);
    if (base < 0) FailWrite(target_, errno);
  }
  struct Closer {
    int fd;
    int root;
    ~Closer() {
      if (fd != root) ::close(fd);
    }
  } closer{base, root_};
  if (::renameat2(from_folder, from.c_str(), parent_, leaf_.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) Fail(UnpackError::Kind::kExists, target_, "");
    if (errno != EINVAL && errno != ENOSYS) FailWrite(target_, errno);
    // A file system without RENAME_NOREPLACE: look, then rename.
    struct stat st {};
    if (::fstatat(parent_, leaf_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) Fail(UnpackError::Kind::kExists, target_, "");
    if (::renameat(from_folder, from.c_str(), parent_, leaf_.c_str()) != 0) FailWrite(target_, errno);
  }
  if (below_top) ::unlinkat(parent_, hidden_.c_str(), AT_REMOVEDIR);
  hidden_.clear();  // nothing left to remove
  ApplyFolderModes(base, below_top);
  if (!below_top) ::fchmod(root_, 0777 & ~umask_);
}

// Best effort: the tree is complete and in place; a folder whose bits cannot
// be set keeps those it was made with (0700).
void Unpacker::ApplyFolderModes(int base, bool below_top) {
  FolderChain chain(base);
  for (auto f = folders_.rbegin(); f != folders_.rend(); ++f) {
    const auto parts = Components(f->path);
    const int fd = chain.Reach(std::span(*parts).subspan(below_top ? 1 : 0));
    if (fd < 0) continue;
    const timespec times[2] = {{0, UTIME_OMIT}, f->mtime};
    ::fchmod(fd, f->mode);
    ::futimens(fd, times);
  }
}

UnpackStats Unpacker::Run() {
  MakeRoot();
  Reader reader(source_, control_);
  archive_entry* e = nullptr;
  for (;;) {
    if (Stopped()) {
      stats_.stopped = true;
      return stats_;
    }
    const int rc = archive_read_next_header(reader.get(), &e);
    if (rc == ARCHIVE_EOF) break;
    reader.Check(rc, "");
    Entry(e, reader);
    if (Stopped()) {
      stats_.stopped = true;
      return stats_;
    }
  }
  // The library also ends quietly where the source ends between two
  // entries; only the end records tell a whole stream from one cut short.
  if (reader.Delivered() < archive_read_header_position(reader.get()) + kRecord) {
    Fail(UnpackError::Kind::kDamaged, "", "the end of the archive is missing");
  }
  Finish();
  return stats_;
}

}  // namespace

UnpackError::UnpackError(Kind kind_in, std::string name_in, const std::string& detail, int error_number_in)
    : std::runtime_error(name_in + (detail.empty() ? "" : ": " + detail)),
      kind(kind_in),
      name(std::move(name_in)),
      error_number(error_number_in) {}

UnpackStats UnpackTree(ByteSource& source, const std::string& target, const UnpackControl& control) {
  const Utf8Names names;
  Unpacker unpacker(source, target, control);
  return unpacker.Run();
}

}  // namespace vesk::archive
