#include "support/disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vesk::testing {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  if (d == nullptr) throw std::runtime_error("cannot list " + folder);
  while (const dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") out.push_back(n);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<unsigned> UnnamedFileModes(const std::string& folder) {
  // The kernel names such a file "<folder>/#<inode> (deleted)".
  const std::string start = std::filesystem::canonical(folder).string() + "/#";
  std::vector<unsigned> modes;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string to = std::filesystem::read_symlink(fd.path(), error).string();
    struct stat st {};
    if (!error && to.rfind(start, 0) == 0 && ::stat(fd.path().c_str(), &st) == 0) modes.push_back(st.st_mode & 07777);
  }
  return modes;
}

SmallDisk::SmallDisk(int64_t bytes) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vesk-disk-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) return;
  path_ = tmpl;
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

void SmallDisk::Fill(std::string_view name) const {
  const std::string file = File(name);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + file);
  const std::vector<char> block(4096, 'f');
  for (std::size_t n = block.size(); n > 0;) {
    const ssize_t put = ::write(fd, block.data(), n);
    if (put <= 0) {
      if (n == 1) break;
      n /= 2;
    }
  }
  ::close(fd);
}

ReadOnlyFolder::ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
  if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) return;
  mounted_ = true;
  // A bind mount takes the read-only flag only when it is mounted again.
  if (::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    ::umount2(folder_.c_str(), MNT_DETACH);
    mounted_ = false;
  }
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

}  // namespace vesk::testing
