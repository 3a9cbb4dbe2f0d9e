// Helpers the post-quantum tests share: hex, the vector files beside the
// tests, and peer programs found on PATH.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vesk::pq::testing {

std::string Hex(const uint8_t* data, std::size_t size);
template <typename Bytes>
std::string Hex(const Bytes& bytes) {
  return Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
std::vector<uint8_t> Unhex(const std::string& hex);

// A file beside the tests' sources.
std::string DataFile(const std::string& name);

// The blocks of a vector file: "name value" lines, blocks apart by empty
// lines, '#' lines skipped.
std::vector<std::map<std::string, std::string>> ReadVectors(const std::string& name);

// The full path of a program on PATH, or "".
std::string FindProgram(const std::string& name);

// True when python3 with the cryptography package's ML-KEM is there.
bool HavePythonMlKem();

}  // namespace vesk::pq::testing
