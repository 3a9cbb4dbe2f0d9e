#include "crypto/keyless/random_source.h"
#include "crypto/keyless/system_random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vesk::keyless {

void SystemRandom::Fill(uint8_t* out, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::getrandom(out + done, n - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("getrandom: ") + std::strerror(errno));
    }
    done += static_cast<std::size_t>(got);
  }
}

RandomSource& DefaultRandom() {
  static SystemRandom source;
  return source;
}

RandomBlock DrawRandomBlock(RandomSource& source) {
  RandomBlock r{};
  std::size_t filled = 0;
  uint8_t pool[32];
  while (filled < r.size()) {
    source.Fill(pool, sizeof pool);
    for (uint8_t b : pool) {
      if (b == 0xFF) continue;
      r[filled++] = b;
      if (filled == r.size()) break;
    }
  }
  return r;
}

}  // namespace vesk::keyless
