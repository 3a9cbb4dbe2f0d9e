#include "archive/tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace vesk::archive {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// How many of the deepest folders being walked keep a descriptor open.
constexpr std::size_t kHeldFolders = 16;

EntryType TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return EntryType::kFolder;
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISLNK(mode)) return EntryType::kLink;
  return EntryType::kSpecial;
}

// The names in the open folder `fd`, sorted by their bytes.
std::vector<std::string> ListFolder(int fd, const std::string& name) {
  const int copy = ::dup(fd);  // closedir closes the descriptor it was given
  if (copy < 0) throw WalkError(name, errno);
  DIR* dir = ::fdopendir(copy);
  if (dir == nullptr) {
    const int error = errno;
    ::close(copy);
    throw WalkError(name, error);
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) throw WalkError(name, error);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

WalkError::WalkError(std::string name_in, int error_in)
    : std::runtime_error(name_in + ": " + std::strerror(error_in)), name(std::move(name_in)), error(error_in) {}

TreeWalk::TreeWalk(const std::string& folder, std::string top) : top_(std::move(top)) {
  top_fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (top_fd_ < 0) throw WalkError(top_, errno);
}

TreeWalk::~TreeWalk() {
  for (Frame& f : frames_) {
    if (f.fd >= 0) ::close(f.fd);
  }
  if (top_fd_ >= 0) ::close(top_fd_);
}

void TreeWalk::Descend(int parent_fd, const std::string& leaf, const std::string& name) {
  Frame frame;
  frame.fd = parent_fd < 0 ? ::dup(top_fd_) : ::openat(parent_fd, leaf.c_str(), kFolderFlags);
  if (frame.fd < 0) {
    // A folder replaced by something else since it was seen is passed over.
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return;
    throw WalkError(name, errno);
  }
  try {
    struct stat st {};
    if (::fstat(frame.fd, &st) != 0) throw WalkError(name, errno);
    frame.dev = st.st_dev;
    frame.ino = st.st_ino;
    frame.names = ListFolder(frame.fd, name);
  } catch (...) {
    ::close(frame.fd);
    throw;
  }
  frame.prefix = name + "/";
  frame.leaf = leaf;
  frames_.push_back(std::move(frame));
  if (frames_.size() > kHeldFolders) {
    Frame& older = frames_[frames_.size() - 1 - kHeldFolders];
    if (older.fd >= 0) ::close(std::exchange(older.fd, -1));
  }
}

void TreeWalk::Reopen(std::size_t j) {
  std::size_t k = j;
  while (k > 0 && frames_[k - 1].fd < 0) --k;
  int fd = -1;
  for (std::size_t i = k; i <= j; ++i) {
    const std::string name = frames_[i].prefix.substr(0, frames_[i].prefix.size() - 1);
    const int at = i == k ? (k == 0 ? -1 : frames_[k - 1].fd) : fd;
    const int next = at < 0 ? ::dup(top_fd_) : ::openat(at, frames_[i].leaf.c_str(), kFolderFlags);
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (next < 0) throw WalkError(name, error);
    struct stat st {};
    if (::fstat(next, &st) != 0 || st.st_dev != frames_[i].dev || st.st_ino != frames_[i].ino) {
      ::close(next);
      throw WalkError(name, ESTALE);
    }
    fd = next;
  }
  frames_[j].fd = fd;
}

bool TreeWalk::Next(TreeEntry& entry) {
  if (!started_) {
    started_ = true;
    entry = TreeEntry{};
    if (::fstat(top_fd_, &entry.st) != 0) throw WalkError(top_, errno);
    entry.name = top_;
    entry.type = EntryType::kFolder;
    entry.folder_fd = top_fd_;
    entry.leaf = ".";
    descend_ = true;
    descend_parent_ = -1;
    descend_name_ = top_;
    return true;
  }
  if (descend_) {
    descend_ = false;
    Descend(descend_parent_, descend_leaf_, descend_name_);
  }
  while (!frames_.empty()) {
    Frame& frame = frames_.back();
    if (frame.index == frame.names.size()) {
      if (frame.fd >= 0) ::close(frame.fd);
      frames_.pop_back();
      continue;
    }
    if (frame.fd < 0) Reopen(frames_.size() - 1);
    const std::string& leaf = frame.names[frame.index++];
    entry.st = {};
    if (::fstatat(frame.fd, leaf.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      throw WalkError(frame.prefix + leaf, errno);
    }
    entry.name = frame.prefix + leaf;
    entry.type = TypeOf(entry.st.st_mode);
    entry.folder_fd = frame.fd;
    entry.leaf = leaf;
    if (entry.type == EntryType::kFolder) {
      descend_ = true;
      descend_parent_ = frame.fd;
      descend_leaf_ = leaf;
      descend_name_ = entry.name;
    }
    return true;
  }
  return false;
}

TreeTotals SurveyTree(const std::string& folder, const std::string& top, const std::atomic<bool>& keep,
                      const StopToken& stop) {
  TreeTotals totals;
  TreeWalk walk(folder, top);
  TreeEntry e;
  std::set<std::pair<dev_t, ino_t>> linked;  // hard-linked files seen
  while (keep.load(std::memory_order_relaxed) && !stop.StopRequested() && walk.Next(e)) {
    switch (e.type) {
      case EntryType::kFolder:
        ++totals.folders;
        break;
      case EntryType::kLink:
        ++totals.links;
        break;
      case EntryType::kSpecial:
        totals.skipped.push_back(e.name);
        break;
      case EntryType::kFile:
        if (e.st.st_nlink > 1 && !linked.emplace(e.st.st_dev, e.st.st_ino).second) {
          ++totals.links;
          break;
        }
        // Found now rather than halfway through the packing.
        if (::faccessat(e.folder_fd, e.leaf.c_str(), R_OK, AT_EACCESS) != 0) throw WalkError(e.name, errno);
        ++totals.files;
        totals.bytes += e.st.st_size;
        break;
    }
  }
  return totals;
}

}  // namespace vesk::archive
