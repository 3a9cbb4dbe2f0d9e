// A path of folders below a base folder, opened one part at a time without
// following links, in which only the deepest few hold a descriptor: a tree
// deeper than the process may hold descriptors can still be unpacked and
// removed. A folder whose descriptor was given up is opened again, by its
// names from its nearest open ancestor, when it is needed.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vesk::archive {

class FolderChain {
 public:
  // `base` stays the caller's: it is never closed here.
  explicit FolderChain(int base) : base_(base) {}
  ~FolderChain() { Truncate(0); }
  FolderChain(const FolderChain&) = delete;
  FolderChain& operator=(const FolderChain&) = delete;

  std::size_t size() const { return parts_.size(); }
  const std::string& name(std::size_t i) const { return parts_[i].first; }

  // Keeps the first `keep` folders and closes those below them.
  void Truncate(std::size_t keep);
  // Opens `leaf` in the deepest folder (the base when there is none) and
  // appends it; false, with errno, when it cannot be opened.
  bool Push(const std::string& leaf);
  // The deepest folder (the base when there is none), opened again if its
  // descriptor was given up; -1, with errno, when that fails.
  int Back();
  // The folder named by `parts`, reached from what the chain holds in
  // common with it; -1, with errno and the chain ending at the last part
  // reached, when a part cannot be opened.
  int Reach(std::span<const std::string> parts);

 private:
  int base_;
  std::vector<std::pair<std::string, int>> parts_;
};

}  // namespace vesk::archive
