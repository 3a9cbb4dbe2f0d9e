// Walks a folder and everything below it without following links, through
// folder descriptors (so that a path longer than the system's limit, or a
// folder renamed meanwhile, never sends the walk elsewhere).
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/stop.h"

namespace vesk::archive {

enum class EntryType { kFolder, kFile, kLink, kSpecial };

struct TreeEntry {
  std::string name;    // as stored: the top name, then "/" and the names below it
  EntryType type = EntryType::kFile;
  struct stat st {};   // the entry itself, links not followed
  int folder_fd = -1;  // the open folder that holds it (the top folder's own for the top)
  std::string leaf;    // its name in that folder ("." for the top)
};

// A folder or file that cannot be read; `name` is the entry's stored name.
class WalkError : public std::runtime_error {
 public:
  WalkError(std::string name, int error);
  const std::string name;
  const int error;
};

class TreeWalk {
 public:
  // `folder`: the folder to walk (followed when it is itself a link: the user
  // named it); `top`: its name in the archive. Throws WalkError when it
  // cannot be opened.
  TreeWalk(const std::string& folder, std::string top);
  ~TreeWalk();
  TreeWalk(const TreeWalk&) = delete;
  TreeWalk& operator=(const TreeWalk&) = delete;

  // The next entry: the top folder first, then the entries of each folder in
  // byte order of their names, a folder's contents right after the folder.
  // False at the end. Throws WalkError for a folder that cannot be listed.
  // An entry that vanishes while the walk runs is passed over.
  bool Next(TreeEntry& entry);

 private:
  // A folder being walked. Only the deepest few hold a descriptor, so that
  // a tree of any depth is walked within the descriptor limit; a folder
  // returned to is opened again from its nearest open ancestor, and must
  // still be the folder it was (its device and inode).
  struct Frame {
    int fd = -1;         // -1 while closed
    std::string prefix;  // stored name of the folder, with its final "/"
    std::string leaf;    // its name in its parent
    dev_t dev = 0;
    ino_t ino = 0;
    std::vector<std::string> names;
    std::size_t index = 0;
  };
  void Descend(int parent_fd, const std::string& leaf, const std::string& name);
  void Reopen(std::size_t frame);

  std::vector<Frame> frames_;
  int top_fd_ = -1;
  std::string top_;
  bool started_ = false;
  // The folder last returned, to be listed before the next entry.
  bool descend_ = false;
  int descend_parent_ = -1;
  std::string descend_leaf_, descend_name_;
};

// What a tree holds, found by one walk before it is packed.
struct TreeTotals {
  int64_t files = 0;    // regular files, each hard-linked one once
  int64_t folders = 0;  // the top folder included
  int64_t links = 0;    // symbolic links and second names of hard-linked files
  int64_t bytes = 0;    // data of the regular files, each hard-linked one once
  std::vector<std::string> skipped;  // sockets, devices and FIFOs, by stored name
  // What packing costs in progress units: the data, and 512 per entry for
  // its header (so that a tree of empty files moves the bar too).
  int64_t Weight() const { return bytes + 512 * (files + folders + links); }
};

// Walks the tree once. Throws WalkError for a folder that cannot be listed
// or a file that cannot be read, before anything is written. Stops (with
// what it found so far) when `keep` turns false or a stop of `stop` is
// requested.
TreeTotals SurveyTree(const std::string& folder, const std::string& top, const std::atomic<bool>& keep,
                      const StopToken& stop = {});

}  // namespace vesk::archive
