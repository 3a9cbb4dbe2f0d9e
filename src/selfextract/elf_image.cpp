#include "selfextract/elf_image.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/file_io.h"
#include "platform/staged_file.h"

namespace vesk::selfextract {
namespace {

uint64_t Le(const unsigned char* p, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void PutLe(unsigned char* p, uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Field offsets and widths of the two ELF classes.
struct Layout {
  int word;  // width of offsets and sizes: 4 or 8
  std::size_t header_size;
  std::size_t phoff, shoff, phentsize, phnum, shentsize, shnum;
  std::size_t sh_type, sh_offset, sh_size, sh_info, sh_addralign, sh_min;
  std::size_t p_offset, p_filesz, ph_min;
};

constexpr Layout kElf32{4, 52, 0x1C, 0x20, 0x2A, 0x2C, 0x2E, 0x30, 4, 0x10, 0x14, 0x1C, 0x20, 40, 4, 0x10, 32};
constexpr Layout kElf64{8, 64, 0x20, 0x28, 0x36, 0x38, 0x3A, 0x3C, 4, 0x18, 0x20, 0x2C, 0x30, 64, 8, 0x20, 56};

constexpr uint32_t kShtNull = 0;
constexpr uint32_t kShtProgbits = 1;
constexpr uint64_t kShnLoreserve = 0xFF00;
constexpr uint32_t kShtNobits = 8;  // occupies no file space (.bss)
constexpr uint64_t kPnXnum = 0xFFFF;

[[noreturn]] void NotAnImage(const std::string& path, const char* why) {
  throw IoError(path + ": " + why);
}

// a + b * c, or throws when it leaves the 63-bit range of file positions.
uint64_t EndOf(const std::string& path, uint64_t a, uint64_t b, uint64_t c) {
  const unsigned __int128 end = static_cast<unsigned __int128>(a) + static_cast<unsigned __int128>(b) * c;
  if (end > static_cast<unsigned __int128>(INT64_MAX)) NotAnImage(path, "ELF header out of range");
  return static_cast<uint64_t>(end);
}

// Calls `visit` with each `entsize`-byte entry of the table at `offset`,
// reading the table in blocks so that memory stays small.
template <typename Visit>
void ForEachEntry(InputFile& in, uint64_t offset, uint64_t count, uint64_t entsize, Visit visit) {
  const uint64_t per_block = std::max<uint64_t>(1, 65536 / entsize);
  std::vector<unsigned char> block;
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min(per_block, count - done);
    block.resize(static_cast<std::size_t>(n * entsize));
    in.Seek(static_cast<int64_t>(offset + done * entsize));
    in.ReadExact(block.data(), block.size());
    for (uint64_t i = 0; i < n; ++i) visit(block.data() + i * entsize);
    done += n;
  }
}

// Reads the ELF header at the start of `in` into `h` and returns the layout
// of its class.
const Layout& ReadHeader(InputFile& in, const std::string& elf_path, unsigned char (&h)[64]) {
  const uint64_t file_size = static_cast<uint64_t>(in.Size());
  if (file_size < 52) NotAnImage(elf_path, "not an ELF image");
  in.Seek(0);
  in.ReadExact(h, static_cast<std::size_t>(std::min<uint64_t>(file_size, sizeof h)));
  if (std::memcmp(h, "\x7F" "ELF", 4) != 0) NotAnImage(elf_path, "not an ELF image");
  if (h[5] != 1) NotAnImage(elf_path, "not a little-endian ELF image");
  const Layout* l = h[4] == 1 ? &kElf32 : h[4] == 2 ? &kElf64 : nullptr;
  if (l == nullptr) NotAnImage(elf_path, "unknown ELF class");
  if (file_size < l->header_size) NotAnImage(elf_path, "ELF image is truncated");
  return *l;
}

}  // namespace

int64_t ImageSizeOf(const std::string& elf_path) {
  InputFile in(elf_path);
  const uint64_t file_size = static_cast<uint64_t>(in.Size());
  unsigned char h[64] = {};
  const Layout* l = &ReadHeader(in, elf_path, h);

  const uint64_t phoff = Le(h + l->phoff, l->word);
  const uint64_t shoff = Le(h + l->shoff, l->word);
  const uint64_t phentsize = Le(h + l->phentsize, 2);
  uint64_t phnum = Le(h + l->phnum, 2);
  const uint64_t shentsize = Le(h + l->shentsize, 2);
  uint64_t shnum = Le(h + l->shnum, 2);

  uint64_t end = l->header_size;
  const auto require_in_file = [&](uint64_t e) {
    if (e > file_size) NotAnImage(elf_path, "ELF image is truncated");
    end = std::max(end, e);
  };

  if (shoff != 0) {
    if (shentsize < l->sh_min) NotAnImage(elf_path, "bad ELF section header size");
    // With more sections (or segments) than the header fields hold, the real
    // counts are in the first section header.
    if (shnum == 0 || phnum == kPnXnum) {
      unsigned char first[64];
      require_in_file(EndOf(elf_path, shoff, 1, shentsize));
      in.Seek(static_cast<int64_t>(shoff));
      in.ReadExact(first, l->sh_min);
      if (shnum == 0) shnum = Le(first + l->sh_size, l->word);
      if (phnum == kPnXnum) phnum = Le(first + l->sh_info, 4);
    }
    require_in_file(EndOf(elf_path, shoff, shnum, shentsize));
    ForEachEntry(in, shoff, shnum, shentsize, [&](const unsigned char* sh) {
      const uint64_t type = Le(sh + l->sh_type, 4);
      if (type == kShtNull || type == kShtNobits) return;
      require_in_file(EndOf(elf_path, Le(sh + l->sh_offset, l->word), 1, Le(sh + l->sh_size, l->word)));
    });
  }
  if (phoff != 0 && phnum != 0) {
    if (phentsize < l->ph_min) NotAnImage(elf_path, "bad ELF program header size");
    require_in_file(EndOf(elf_path, phoff, phnum, phentsize));
    ForEachEntry(in, phoff, phnum, phentsize, [&](const unsigned char* ph) {
      require_in_file(EndOf(elf_path, Le(ph + l->p_offset, l->word), 1, Le(ph + l->p_filesz, l->word)));
    });
  }
  return static_cast<int64_t>(end);
}

void AlignImageEnd(const std::string& elf_path, int64_t page, int64_t residue) {
  if (page <= 0 || residue < 0 || residue >= page) throw std::invalid_argument("AlignImageEnd: bad residue");
  const int64_t image = ImageSizeOf(elf_path);
  if (image % page == residue) return;
  InputFile in(elf_path);
  if (in.Size() != image) NotAnImage(elf_path, "bytes follow the ELF image");
  unsigned char h[64] = {};
  const Layout& l = ReadHeader(in, elf_path, h);
  const uint64_t shoff = Le(h + l.shoff, l.word);
  const uint64_t shentsize = Le(h + l.shentsize, 2);
  const uint64_t shnum = Le(h + l.shnum, 2);
  if (shoff == 0 || shnum == 0 || shnum + 1 >= kShnLoreserve || shentsize != l.sh_min) {
    NotAnImage(elf_path, "no section header table that can take one more section");
  }
  const auto word = static_cast<uint64_t>(l.word);
  const uint64_t table = (static_cast<uint64_t>(image) + word - 1) / word * word;
  const uint64_t table_end = table + (shnum + 1) * shentsize;
  const auto p = static_cast<uint64_t>(page);
  const uint64_t pad = (static_cast<uint64_t>(residue) + p - table_end % p) % p;
  if (word == 4 && table_end + pad > UINT32_MAX) NotAnImage(elf_path, "ELF image too large to extend");

  // The padding section: file bytes only, nowhere in memory, no name.
  std::vector<unsigned char> entry(shentsize, 0);
  PutLe(entry.data() + l.sh_type, kShtProgbits, 4);
  PutLe(entry.data() + l.sh_offset, table_end, word);
  PutLe(entry.data() + l.sh_size, pad, word);
  PutLe(entry.data() + l.sh_addralign, 1, word);
  const std::vector<unsigned char> zeros(std::max<uint64_t>(pad, word), 0);

  StagedOutput out;
  out.Open(elf_path, PermissionsOfOpen(in.Descriptor()));
  in.Seek(0);
  out.CopyFrom(in, static_cast<std::size_t>(image));
  out.Write(zeros.data(), static_cast<std::size_t>(table - static_cast<uint64_t>(image)));
  in.Seek(static_cast<int64_t>(shoff));
  out.CopyFrom(in, static_cast<std::size_t>(shnum * shentsize));
  out.Write(entry.data(), entry.size());
  out.Write(zeros.data(), static_cast<std::size_t>(pad));
  PutLe(h + l.shoff, table, word);
  PutLe(h + l.shnum, shnum + 1, 2);
  out.WriteAt(0, h, l.header_size);
  out.Commit(true);
}

int64_t RunningImageSize() { return ImageSizeOf(kRunningProgramFile); }

std::string RunningProgramPath() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink(kRunningProgramFile, buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) {
    throw IoError(std::string("cannot find the running program: ") + std::strerror(errno));
  }
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

}  // namespace vesk::selfextract
