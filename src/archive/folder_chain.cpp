#include "archive/folder_chain.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vesk::archive {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// How many of the deepest folders keep a descriptor open.
constexpr std::size_t kHeldFolders = 16;

}  // namespace

void FolderChain::Truncate(std::size_t keep) {
  while (parts_.size() > keep) {
    if (parts_.back().second >= 0) ::close(parts_.back().second);
    parts_.pop_back();
  }
}

bool FolderChain::Push(const std::string& leaf) {
  const int at = Back();
  if (at < 0) return false;
  const int fd = ::openat(at, leaf.c_str(), kFolderFlags);
  if (fd < 0) return false;
  parts_.emplace_back(leaf, fd);
  if (parts_.size() > kHeldFolders) {
    int& older = parts_[parts_.size() - 1 - kHeldFolders].second;
    if (older >= 0) {
      ::close(older);
      older = -1;
    }
  }
  return true;
}

int FolderChain::Back() {
  if (parts_.empty()) return base_;
  if (parts_.back().second >= 0) return parts_.back().second;
  // Opened again from the nearest open ancestor; the deepest few on the way
  // keep their descriptors, so that walking back up costs one reopening per
  // that many levels.
  std::size_t open = parts_.size() - 1;
  while (open > 0 && parts_[open - 1].second < 0) --open;
  const std::size_t keep_from = parts_.size() > kHeldFolders ? parts_.size() - kHeldFolders : 0;
  int at = open == 0 ? base_ : parts_[open - 1].second;
  bool at_owned = false;
  for (std::size_t i = open; i < parts_.size(); ++i) {
    const int fd = ::openat(at, parts_[i].first.c_str(), kFolderFlags);
    const int error = errno;
    if (at_owned) ::close(at);
    if (fd < 0) {
      errno = error;
      return -1;
    }
    if (i >= keep_from) {
      parts_[i].second = fd;
      at_owned = false;
    } else {
      at_owned = true;
    }
    at = fd;
  }
  return at;
}

int FolderChain::Reach(std::span<const std::string> parts) {
  std::size_t same = 0;
  while (same < parts_.size() && same < parts.size() && parts_[same].first == parts[same]) ++same;
  Truncate(same);
  for (std::size_t i = same; i < parts.size(); ++i) {
    if (!Push(parts[i])) return -1;
  }
  return Back();
}

}  // namespace vesk::archive
