#include "archive/tree_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vesk::testing {
namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

void Put(int dir, const std::string& name, const std::string& data, mode_t mode) {
  const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  Check(fd >= 0, "create " + name);
  Check(::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()), "write " + name);
  Check(::fchmod(fd, mode) == 0 && ::close(fd) == 0, "close " + name);
}

void SetTime(int dir, const std::string& name, int64_t sec, long nsec) {
  const timespec t[2] = {{static_cast<time_t>(sec), nsec}, {static_cast<time_t>(sec), nsec}};
  Check(::utimensat(dir, name.c_str(), t, AT_SYMLINK_NOFOLLOW) == 0, "time of " + name);
}

int OpenFolder(int at, const std::string& name) {
  if (at < 0) throw std::runtime_error("no folder for " + name);
  const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  Check(fd >= 0, "open " + name);
  return fd;
}

void Walk(int dir, const std::string& prefix, Snapshot& out, std::map<std::pair<dev_t, ino_t>, std::string>& names) {
  std::vector<std::string> entries;
  DIR* d = ::fdopendir(::dup(dir));
  Check(d != nullptr, "list " + prefix);
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) entries.emplace_back(e->d_name);
  }
  ::closedir(d);
  for (const std::string& name : entries) {
    struct stat st {};
    Check(::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0, "stat " + name);
    NodeInfo n;
    n.mode = st.st_mode & 07777;
    n.mtime_sec = st.st_mtim.tv_sec;
    n.mtime_nsec = st.st_mtim.tv_nsec;
    const std::string path = prefix + name;
    if (S_ISDIR(st.st_mode)) {
      n.type = 'd';
      const int sub = OpenFolder(dir, name);
      Walk(sub, path + "/", out, names);
      ::close(sub);
    } else if (S_ISREG(st.st_mode)) {
      n.type = 'f';
      auto [it, first] = names.emplace(std::make_pair(st.st_dev, st.st_ino), path);
      if (!first) {
        n.same_as = it->second;
      } else {
        const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        Check(fd >= 0, "read " + path);
        char buf[65536];
        ssize_t got;
        while ((got = ::read(fd, buf, sizeof buf)) > 0) n.data.append(buf, static_cast<std::size_t>(got));
        ::close(fd);
      }
    } else if (S_ISLNK(st.st_mode)) {
      n.type = 'l';
      n.mode = 0;  // not kept by every file system
      std::string target(4096, '\0');
      const ssize_t got = ::readlinkat(dir, name.c_str(), target.data(), target.size());
      Check(got >= 0, "readlink " + path);
      target.resize(static_cast<std::size_t>(got));
      n.data = target;
    } else {
      n.type = S_ISFIFO(st.st_mode) ? 'p' : 's';
    }
    out[path] = n;
  }
}

}  // namespace

Snapshot TakeSnapshot(const std::string& root) {
  Snapshot out;
  std::map<std::pair<dev_t, ino_t>, std::string> names;
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(fd >= 0, "open " + root);
  Walk(fd, "", out, names);
  ::close(fd);
  // A further name found before the first in directory order: name them all
  // after the smallest, whatever order the folder lists them in.
  std::map<std::string, std::string> smallest;
  for (auto& [path, n] : out) {
    if (!n.same_as.empty() && path < n.same_as) {
      std::string& least = smallest[n.same_as];
      if (least.empty() || path < least) least = path;
    }
  }
  for (auto& [first, least] : smallest) {
    NodeInfo& f = out[first];
    NodeInfo& l = out[least];
    std::swap(f.data, l.data);
    l.same_as.clear();
    f.same_as = least;
    for (auto& [path, n] : out) {
      if (n.same_as == first && path != first) n.same_as = least;
    }
  }
  return out;
}

Snapshot WithoutSpecials(Snapshot s) {
  for (auto it = s.begin(); it != s.end();) {
    if (it->second.type == 'p' || it->second.type == 's') {
      it = s.erase(it);
    } else {
      ++it;
    }
  }
  return s;
}

Snapshot ToSeconds(Snapshot s) {
  for (auto& [path, n] : s) n.mtime_nsec = 0;
  return s;
}

std::string Differences(const Snapshot& expected, const Snapshot& actual) {
  std::string out;
  auto describe = [](const NodeInfo& n) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%c %04o %lld.%09ld size %zu%s", n.type, static_cast<unsigned>(n.mode),
                  static_cast<long long>(n.mtime_sec), n.mtime_nsec, n.data.size(), n.same_as.empty() ? "" : " link");
    return std::string(buf) + (n.same_as.empty() ? "" : " = " + n.same_as);
  };
  for (const auto& [path, n] : expected) {
    auto it = actual.find(path);
    if (it == actual.end()) {
      out += "missing: " + path + "\n";
    } else if (!(it->second == n)) {
      out += "differs: " + path + "\n  expected " + describe(n) + "\n  actual   " + describe(it->second) + "\n";
    }
  }
  for (const auto& [path, n] : actual) {
    if (!expected.count(path)) out += "extra: " + path + "\n";
  }
  return out;
}

void BuildDeepChain(const std::string& root, int levels) {
  int dir = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(dir >= 0, "open " + root);
  for (int i = 0; i < levels; ++i) {
    const std::string name = std::to_string(i) + "-" + std::string(150, static_cast<char>('a' + i % 26));
    Check(::mkdirat(dir, name.c_str(), 0755) == 0, "mkdir deep");
    const int sub = OpenFolder(dir, name);
    ::close(dir);
    dir = sub;
  }
  Put(dir, "bottom.txt", "at the bottom", 0644);
  ::close(dir);
}

std::vector<std::string> BuildSampleTree(const std::string& root) {
  Check(::mkdir(root.c_str(), 0755) == 0, "mkdir " + root);
  const int top = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(top >= 0, "open " + root);
  Put(top, "中文 文件.txt", "内容 content\n", 0644);
  Put(top, "\xd6\xd0\xce\xc4.txt", "a name in GBK bytes, no UTF-8", 0640);  // "中文" in GBK
  Put(top, "empty.txt", "", 0644);
  Put(top, "read-only.txt", "do not change", 0444);
  Put(top, "script.sh", "#!/bin/sh\necho hi\n", 0755);
  Check(::mkdirat(top, "empty folder", 0755) == 0, "mkdir empty");
  Check(::mkdirat(top, "private", 0700) == 0, "mkdir private");
  const int priv = OpenFolder(top, "private");
  Put(priv, "secret", "only mine", 0600);
  SetTime(priv, "secret", 1234567890, 123456789);
  ::close(priv);
  Check(::mkdirat(top, "links", 0755) == 0, "mkdir links");
  const int links = OpenFolder(top, "links");
  Check(::symlinkat("../中文 文件.txt", links, "inside") == 0, "link inside");
  Check(::symlinkat("/etc/hostname", links, "absolute") == 0, "link absolute");
  Check(::symlinkat("../../outside/file", links, "climbing") == 0, "link climbing");
  Check(::symlinkat("nowhere", links, "dangling") == 0, "link dangling");
  ::close(links);
  Check(::mkdirat(top, "hard", 0755) == 0, "mkdir hard");
  const int hard = OpenFolder(top, "hard");
  Put(hard, "a", "one file, three names", 0644);
  Check(::linkat(hard, "a", hard, "b", 0) == 0 && ::linkat(hard, "a", top, "third name", 0) == 0, "hard links");
  ::close(hard);
  Check(::mkfifoat(top, "fifo", 0644) == 0, "fifo");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string sock_path = root + "/socket";
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sock_path.c_str());
  Check(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "socket");
  ::close(sock);
  ::close(top);
  Check(::mkdir((root + "/deep").c_str(), 0755) == 0, "mkdir deep");
  BuildDeepChain(root + "/deep", 24);  // names of 3.7 KB, about as long as tar programs take
  // A folder nothing may be added to, and times with nanoseconds; both last,
  // since adding entries changes a folder's time.
  Check(::mkdir((root + "/locked").c_str(), 0755) == 0, "mkdir locked");
  const int holder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int locked = OpenFolder(holder, "locked");
  Put(locked, "inside", "x", 0644);
  ::close(locked);
  ::close(holder);
  Check(::chmod((root + "/locked").c_str(), 0555) == 0, "chmod locked");
  const int again = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  SetTime(again, "中文 文件.txt", 1700000000, 987654321);
  SetTime(again, "empty folder", 1600000000, 5);
  SetTime(again, "locked", 1500000000, 0);
  ::close(again);
  return {"fifo", "socket"};
}

void MakeRemovable(const std::string& root) { Shell("chmod -R u+rwx " + Quote(root) + " 2>/dev/null"); }

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

std::string UstarHeader(const std::string& name, char type, int64_t size, const std::string& link, mode_t mode) {
  std::string h(512, '\0');
  auto field = [&h](std::size_t at, std::size_t width, const std::string& value) {
    h.replace(at, std::min(value.size(), width), value.substr(0, width));
  };
  auto octal = [&field](std::size_t at, std::size_t width, int64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llo", static_cast<int>(width - 1), static_cast<unsigned long long>(value));
    field(at, width, buf);
  };
  field(0, 100, name);
  octal(100, 8, mode);
  octal(108, 8, 0);
  octal(116, 8, 0);
  octal(124, 12, size);
  octal(136, 12, 1600000000);
  h[156] = type;
  field(157, 100, link);
  field(257, 6, std::string("ustar\0", 6));
  field(263, 2, "00");
  h.replace(148, 8, std::string(8, ' '));
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06o", sum);
  h.replace(148, 7, std::string(buf, 6) + '\0');
  return h;
}

std::string Padded(const std::string& data) { return data + std::string((512 - data.size() % 512) % 512, '\0'); }

std::string EndRecords() { return std::string(1024, '\0'); }

}  // namespace vesk::testing
