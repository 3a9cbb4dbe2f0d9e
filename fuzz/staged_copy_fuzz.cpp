// StagedOutput::CopyFrom against the bytes themselves: a source of random
// size, a few pieces each written directly or copied from a random place of
// the source (so the kernel's copy and the page-aligned buffer both run, at
// every alignment), sometimes a copy that reads past the end; the kernel's
// copy road of sharing file systems is taken on every other input. The committed
// file must hold exactly the pieces in order; a copy past the end must throw
// and leave no file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_draw.h"
#include "fuzz_support.h"
#include "platform/file_io.h"
#include "platform/kernel_copy.h"
#include "platform/staged_file.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using vesk::fuzz::Draw;
  Draw draw(data, size);
  const std::string source = vesk::fuzz::MakeData(data, size, draw);
  const std::string source_path = vesk::fuzz::WriteInput(reinterpret_cast<const uint8_t*>(source.data()),
                                                         source.size(), "copy-source");
  const std::string target = vesk::fuzz::ScratchDir() + "/copy-target";
  vesk::fuzz::Remove(target);

  // Either road: the splice, or the kernel's copy that sharing file systems take.
  vesk::TreatEveryFileSystemAsSharing(draw.Below(2) == 0);

  std::string expected;
  bool past_end = false;
  {
    vesk::InputFile in(source_path);
    vesk::StagedOutput out;
    out.Open(target);
    const std::size_t pieces = 1 + draw.Below(5);
    try {
      for (std::size_t i = 0; i < pieces; ++i) {
        if (draw.Below(3) == 0) {  // a few bytes written directly, shifting the output
          const std::string head(draw.Below(5000), static_cast<char>('a' + i));
          out.Write(head);
          expected += head;
          continue;
        }
        const std::size_t from = draw.Below(source.size() + 1);
        std::size_t length = draw.Size() % (source.size() - from + 1);
        if (draw.Below(16) == 0) {
          length = source.size() - from + 1 + draw.Below(3);
          past_end = true;
        }
        in.Seek(static_cast<int64_t>(from));
        out.CopyFrom(in, length);
        if (past_end) __builtin_trap();  // a copy past the end must throw
        if (in.Position() != static_cast<int64_t>(from + length)) __builtin_trap();
        expected.append(source, from, length);
      }
      out.Commit();
    } catch (const vesk::IoError&) {
      if (!past_end) __builtin_trap();
      out.Abandon();
    }
  }
  if (past_end) {
    if (std::ifstream(target).good()) __builtin_trap();
  } else if (ReadAll(target) != expected) {
    __builtin_trap();
  }
  vesk::fuzz::Remove(target);
  vesk::fuzz::Remove(source_path);
  return 0;
}
