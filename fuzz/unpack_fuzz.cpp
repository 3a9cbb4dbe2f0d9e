// The unpacker on any stream: it must never crash, never write outside its
// target, and leave either the whole target or nothing.
//
// The stream unpacks into box/out, beside box/'s neighbour outside/, which
// holds one file. Afterwards box/ holds the target or nothing (never the
// hidden folder it was built in), and outside/ holds its one file unchanged.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "archive/unpacker.h"
#include "fuzz_support.h"

namespace {

class Bytes : public vesk::archive::ByteSource {
 public:
  Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t Read(void* out, std::size_t n) override {
    // Small and uneven pieces, as a pipe would give them.
    n = std::min({n, size_ - at_, std::size_t{1000} + at_ % 777});
    std::memcpy(out, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    }
    ::closedir(d);
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string& scratch = vesk::fuzz::ScratchDir();
  const std::string box = scratch + "/box", outside = scratch + "/outside", victim = outside + "/victim";
  ::mkdir(box.c_str(), 0755);
  ::mkdir(outside.c_str(), 0755);
  std::ofstream(victim, std::ios::trunc) << "untouched";

  Bytes source(data, size);
  bool whole = false;
  try {
    vesk::archive::UnpackTree(source, box + "/out", {});
    whole = true;
  } catch (const vesk::archive::UnpackError&) {
  }
  const std::vector<std::string> left = Entries(box);
  if (whole ? left != std::vector<std::string>{"out"} : !left.empty()) std::abort();
  if (Entries(outside) != std::vector<std::string>{"victim"}) std::abort();
  std::string kept;
  std::getline(std::ifstream(victim), kept);
  if (kept != "untouched") std::abort();
  if (whole && std::system(("chmod -R u+rwx '" + box + "/out' && rm -rf '" + box + "/out'").c_str()) != 0) std::abort();
  return 0;
}
