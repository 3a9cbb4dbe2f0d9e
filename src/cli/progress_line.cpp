#include "cli/progress_line.h"

#include "cli/texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesk::cli {

std::string FormatProgress(double fraction, int64_t bytes, double seconds, int width) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int filled = static_cast<int>(std::floor(fraction * width));
  std::string line;
  line.reserve(static_cast<std::size_t>(width) + 48);
  line += '[';
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(width - filled), '-');
  line += ']';
  char buf[96];
  std::snprintf(buf, sizeof buf, " %3d%%", static_cast<int>(std::floor(fraction * 100.0)));
  line += buf;
  if (seconds > 0.2 && bytes > 0) {
    const double rate = static_cast<double>(bytes) / seconds;
    if (rate >= 1e9) {
      std::snprintf(buf, sizeof buf, "  %.2f GB/s", rate / 1e9);
    } else {
      std::snprintf(buf, sizeof buf, "  %.1f MB/s", rate / 1e6);
    }
    line += buf;
    if (fraction > 0.0 && fraction < 1.0) {
      const long left = std::lround(seconds * (1.0 - fraction) / fraction);
      std::snprintf(buf, sizeof buf, text::kTimeLeftFormat, left / 60, left % 60);
      line += buf;
    }
  }
  return line;
}

}  // namespace vesk::cli
