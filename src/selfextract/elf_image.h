// The length of the program image: on Linux the running program is an ELF
// file, and a self-decrypting executable is that file with a payload header
// and a container appended. The loader ignores bytes behind the image, so the
// image's own length is where the last of its parts ends: the ELF header, the
// program header table, the section header table, and the file contents of
// every section and segment.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::selfextract {

// The exact length of the ELF image at the start of the file (32- or 64-bit,
// little-endian). Throws IoError when the file cannot be read, is not such an
// ELF image, or is shorter than its own headers say.
int64_t ImageSizeOf(const std::string& elf_path);

// Makes the ELF image in the file at `elf_path` end `residue` bytes past a
// multiple of `page`, so that whatever is appended behind it at a fixed
// distance starts on a page: one more section, of zero bytes that are never
// loaded, goes behind a copy of the section header table at the end. Nothing
// changes when the image already ends there. Throws IoError when the file is
// no such image, has no section header table or has bytes behind its image.
void AlignImageEnd(const std::string& elf_path, int64_t page, int64_t residue);

// The file of the running program, and ImageSizeOf that file.
inline constexpr char kRunningProgramFile[] = "/proc/self/exe";
int64_t RunningImageSize();

// The full path of the running program (for the shell entries and the folder
// the self-decrypt commands save into). Throws IoError when it is unknown.
std::string RunningProgramPath();

}  // namespace vesk::selfextract
