// The progress line the command-line front end draws on a terminal.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::cli {

// "[#####-----]  50%  12.3 MB/s" and the time left: `fraction` in 0..1, `bytes` done
// so far, `seconds` elapsed. Throughput and remaining time are left out
// until they can be estimated.
std::string FormatProgress(double fraction, int64_t bytes, double seconds, int width = 30);

}  // namespace vesk::cli
