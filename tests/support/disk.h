// Disk helpers for the file-safety tests: what a folder holds, and a tiny
// file system of its own (tmpfs) that really fills up. Mounting needs root;
// where it cannot be done, SmallDisk::Ready() is false and the test skips.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::testing {

// The names in `folder`, sorted, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// The permission bits of the files without a name (staged_file.h) that this
// process holds open in `folder`.
std::vector<unsigned> UnnamedFileModes(const std::string& folder);

class SmallDisk {
 public:
  // Mounts `bytes` of tmpfs on a fresh folder inside the temporary folder.
  explicit SmallDisk(int64_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Ready() const { return mounted_; }
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Fills the disk with a file of `name` until one more byte does not fit.
  void Fill(std::string_view name) const;

 private:
  std::string path_;
  bool mounted_ = false;
};

// `folder` made read-only for everyone, root included (EROFS), by mounting
// it onto itself read-only; undone when this goes. Mounting needs root:
// where it cannot be done, Ready() is false.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string folder);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool Ready() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace vesk::testing
