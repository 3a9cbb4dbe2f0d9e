// zlib itself as the reference the compression tests compare against, and
// the whole output of our inflate reader.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "compress/inflate_reader.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace vesk::testing {

// zlib's own one-shot compression of `data` at `level`.
inline std::string ZlibCompress(const std::string& data, int level) {
  uLongf len = compressBound(data.size());
  std::string out(len, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(data.data()),
                      data.size(), level),
            Z_OK);
  out.resize(len);
  return out;
}

// zlib's own inflate of a whole stream of at most `limit` bytes of content;
// fails the test unless the stream is complete and valid.
inline std::string ZlibUncompress(const std::string& stream, std::size_t limit) {
  std::string out(limit + 1, '\0');  // never zero-sized
  uLongf len = out.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(stream.data()),
                       stream.size()),
            Z_OK);
  out.resize(len);
  return out;
}

// Everything our reader yields from `stream` (written to `path`), asking
// `step` bytes at a time; throws ZlibError as the reader does.
inline std::string ReadAllThroughReader(const std::string& path, const std::string& stream, std::size_t step) {
  WriteFile(path, stream);
  InputFile in(path);
  compress::InflateReader reader(in);
  std::string out;
  std::vector<char> buf(step);
  for (;;) {
    const std::size_t got = reader.Read(buf.data(), step);
    out.append(buf.data(), got);
    if (got < step) break;
  }
  EXPECT_TRUE(reader.Complete());
  return out;
}

}  // namespace vesk::testing
