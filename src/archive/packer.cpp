#include "archive/packer.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "archive/names_locale.h"
#include "archive/tree_walk.h"

namespace vesk::archive {
namespace {

// Bytes read from a file at a time; the cipher and compressor downstream
// work in pieces of this size too.
constexpr std::size_t kReadSize = std::size_t{1} << 20;
constexpr int64_t kHeaderWeight = 512;

// The libarchive writer with its output callback in front of the sink. An
// exception of the sink cannot pass through the library (C code): it is
// kept, the library is told the bytes went (so that it never ends up in a
// state in which it cannot free itself), and it is thrown again once the
// library has returned. From then on, as after a stop, nothing more reaches
// the sink.
class Writer {
 public:
  explicit Writer(ByteSink& sink) : sink_(sink), a_(archive_write_new()), entry_(archive_entry_new()) {
    if (!a_ || !entry_) throw std::bad_alloc();
    // pax: plain ustar records, with an extended record only for what they
    // cannot hold (a long or non-ASCII name, a time to the nanosecond, a
    // large size). No blocking, so that the stream ends right after its two
    // zero records.
    Check(archive_write_set_format_pax(a_.get()), "");
    Check(archive_write_set_bytes_per_block(a_.get(), 0), "");
    Check(archive_write_open2(a_.get(), this, nullptr, &Writer::Put, nullptr, nullptr), "");
  }
  ~Writer() { discard_ = true; }  // the library's closing records go nowhere
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  archive_entry* Entry() {
    archive_entry_clear(entry_.get());
    return entry_.get();
  }
  void Header(const std::string& name) { Check(archive_write_header(a_.get(), entry_.get()), name); }
  void Data(const void* data, std::size_t n, const std::string& name) {
    const la_ssize_t put = archive_write_data(a_.get(), data, n);
    Check(put < 0 ? static_cast<int>(put) : static_cast<std::size_t>(put) == n ? ARCHIVE_OK : ARCHIVE_FATAL, name);
  }
  void Close() { Check(archive_write_close(a_.get()), ""); }

 private:
  static la_ssize_t Put(struct archive*, void* self, const void* data, size_t n) {
    auto* w = static_cast<Writer*>(self);
    if (w->failure_ || w->discard_) return static_cast<la_ssize_t>(n);
    try {
      w->sink_.Write(data, n);
    } catch (...) {
      w->failure_ = std::current_exception();
    }
    return static_cast<la_ssize_t>(n);
  }
  // A warning (a name that is no valid UTF-8, stored as binary) is no failure.
  void Check(int rc, const std::string& name) {
    if (failure_) std::rethrow_exception(failure_);
    if (rc >= ARCHIVE_WARN) return;
    const char* detail = archive_error_string(a_.get());
    throw PackError(PackError::Kind::kLibrary, name, detail != nullptr ? detail : "libarchive");
  }

  struct FreeArchive {
    void operator()(struct archive* a) const { archive_write_free(a); }
  };
  struct FreeEntry {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
  };

  ByteSink& sink_;
  std::exception_ptr failure_;
  bool discard_ = false;
  // Last: freed first, while the members above are still there for Put.
  std::unique_ptr<struct archive, FreeArchive> a_;
  std::unique_ptr<archive_entry, FreeEntry> entry_;
};

// A descriptor closed on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

void Describe(archive_entry* a, const TreeEntry& e, mode_t type) {
  archive_entry_copy_pathname(a, e.name.c_str());
  archive_entry_set_filetype(a, type);
  archive_entry_set_perm(a, e.st.st_mode & 07777);
  archive_entry_set_uid(a, e.st.st_uid);
  archive_entry_set_gid(a, e.st.st_gid);
  archive_entry_set_mtime(a, e.st.st_mtim.tv_sec, e.st.st_mtim.tv_nsec);
  archive_entry_set_size(a, 0);
}

class Packer {
 public:
  Packer(ByteSink& sink, const PackControl& control) : writer_(sink), control_(control) {}

  PackStats Run(const std::string& folder, const std::string& top) {
    TreeWalk walk(folder, top);
    TreeEntry e;
    try {
      while (walk.Next(e)) {
        if (Stopped()) return Stop();
        switch (e.type) {
          case EntryType::kFolder: Folder(e); break;
          case EntryType::kLink: Link(e); break;
          case EntryType::kFile: File(e); break;
          case EntryType::kSpecial: stats_.skipped.push_back(e.name); break;
        }
        if (stats_.stopped) return stats_;
      }
    } catch (const WalkError& error) {
      throw PackError(PackError::Kind::kUnreadable, error.name, std::strerror(error.error));
    }
    writer_.Close();
    return stats_;
  }

 private:
  bool Stopped() const {
    return control_.stop.StopRequested() ||
           (control_.keep != nullptr && !control_.keep->load(std::memory_order_relaxed));
  }
  PackStats Stop() {
    stats_.stopped = true;
    return stats_;
  }
  void Progress(int64_t delta) {
    done_ += delta;
    if (control_.progress) control_.progress(done_, delta);
  }

  void Folder(const TreeEntry& e) {
    Describe(writer_.Entry(), e, AE_IFDIR);
    writer_.Header(e.name);
    ++stats_.folders;
    Progress(kHeaderWeight);
  }

  void Link(const TreeEntry& e) {
    std::string target(static_cast<std::size_t>(std::max<off_t>(e.st.st_size, 0)) + 1, '\0');
    const ssize_t n = ::readlinkat(e.folder_fd, e.leaf.c_str(), target.data(), target.size());
    if (n < 0) {
      if (errno == ENOENT) return;  // gone since the walk saw it
      throw PackError(PackError::Kind::kUnreadable, e.name, std::strerror(errno));
    }
    // A link whose target grew since it was seen would be stored cut short.
    if (static_cast<std::size_t>(n) == target.size()) throw PackError(PackError::Kind::kChanged, e.name, "");
    target.resize(static_cast<std::size_t>(n));
    archive_entry* a = writer_.Entry();
    Describe(a, e, AE_IFLNK);
    archive_entry_copy_symlink(a, target.c_str());
    writer_.Header(e.name);
    ++stats_.links;
    Progress(kHeaderWeight);
  }

  void File(const TreeEntry& e) {
    // Every further name of a file with several is stored as a hard link to
    // its first one; the entry is forgotten once all its names have come.
    if (e.st.st_nlink > 1) {
      const auto key = std::make_pair(e.st.st_dev, e.st.st_ino);
      auto seen = linked_.find(key);
      if (seen != linked_.end()) {
        archive_entry* a = writer_.Entry();
        Describe(a, e, AE_IFREG);
        archive_entry_copy_hardlink(a, seen->second.first.c_str());
        writer_.Header(e.name);
        ++stats_.links;
        if (--seen->second.second == 0) linked_.erase(seen);
        Progress(kHeaderWeight);
        return;
      }
      linked_.emplace(key, std::make_pair(e.name, e.st.st_nlink - 1));
    }

    // O_NONBLOCK: should the name have become a FIFO meanwhile, the open
    // does not wait for a writer (and the type check below refuses it).
    Fd fd(::openat(e.folder_fd, e.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) throw PackError(PackError::Kind::kUnreadable, e.name, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw PackError(PackError::Kind::kUnreadable, e.name, std::strerror(errno));
    if (!S_ISREG(st.st_mode) || st.st_ino != e.st.st_ino || st.st_dev != e.st.st_dev) {
      throw PackError(PackError::Kind::kChanged, e.name, "");
    }
    TreeEntry now = e;
    now.st = st;
    archive_entry* a = writer_.Entry();
    Describe(a, now, AE_IFREG);
    archive_entry_set_size(a, st.st_size);
    writer_.Header(e.name);
    Progress(kHeaderWeight);
    CopyData(fd.get(), st.st_size, e.name);
    if (stats_.stopped) return;
    ++stats_.files;
    stats_.bytes += st.st_size;
  }

  // Exactly `size` bytes, as the header says: a file that turns out shorter
  // or longer than that has changed while it was read.
  void CopyData(int fd, int64_t size, const std::string& name) {
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kReadSize);
    int64_t remaining = size;
    for (;;) {
      // One byte more than is left: a read that fills it shows growth
      // without another call at the end.
      const std::size_t want =
          remaining < static_cast<int64_t>(kReadSize) ? static_cast<std::size_t>(remaining) + 1 : kReadSize;
      const ssize_t got = ::read(fd, buffer_.get(), want);
      if (got < 0) {
        if (errno == EINTR) continue;
        throw PackError(PackError::Kind::kUnreadable, name, std::strerror(errno));
      }
      if (got > remaining) throw PackError(PackError::Kind::kChanged, name, "");
      if (got == 0) {
        if (remaining != 0) throw PackError(PackError::Kind::kChanged, name, "");
        return;
      }
      writer_.Data(buffer_.get(), static_cast<std::size_t>(got), name);
      remaining -= got;
      Progress(got);
      if (Stopped()) {
        stats_.stopped = true;
        return;
      }
      // All that is left, and not the byte asked beyond it: the end.
      if (remaining == 0 && static_cast<std::size_t>(got) < want) return;
    }
  }

  Writer writer_;
  const PackControl& control_;
  PackStats stats_;
  int64_t done_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  // First stored name and names still to come of each file with several.
  std::map<std::pair<dev_t, ino_t>, std::pair<std::string, nlink_t>> linked_;
};

}  // namespace

PackError::PackError(Kind kind_in, std::string name_in, const std::string& detail)
    : std::runtime_error(name_in + (detail.empty() ? "" : ": " + detail)), kind(kind_in), name(std::move(name_in)) {}

PackStats PackTree(const std::string& folder, const std::string& top, ByteSink& sink, const PackControl& control) {
  const Utf8Names names;
  try {
    Packer packer(sink, control);
    return packer.Run(folder, top);
  } catch (const WalkError& error) {
    throw PackError(PackError::Kind::kUnreadable, error.name, std::strerror(error.error));
  }
}

}  // namespace vesk::archive
