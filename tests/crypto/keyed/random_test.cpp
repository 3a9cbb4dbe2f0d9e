#include "crypto/keyed/system_random.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vesk::keyed {
namespace {

// Feeds known raw bytes so that the rejection of 255 can be observed.
class FixedRawRandom : public SystemRandom {
 public:
  explicit FixedRawRandom(std::vector<uint8_t> raw) : raw_(std::move(raw)) {}

 protected:
  void Refill(std::span<uint8_t> block) override {
    for (auto& b : block) b = raw_[next_++ % raw_.size()];
  }

 private:
  std::vector<uint8_t> raw_;
  std::size_t next_ = 0;
};

TEST(SystemRandom, SkipsRawBytes255) {
  FixedRawRandom random({255, 0, 255, 255, 254, 7});
  EXPECT_EQ(random.Next(), 0);
  EXPECT_EQ(random.Next(), 254);
  EXPECT_EQ(random.Next(), 7);
  EXPECT_EQ(random.Next(), 0);
}

TEST(SystemRandom, KernelEntropyCoversZeroTo254Only) {
  SystemRandom random;
  std::array<int, 256> counts{};
  const int draws = 255 * 200;
  for (int i = 0; i < draws; ++i) ++counts[random.Next()];
  EXPECT_EQ(counts[255], 0);
  // Every value appears; with 200 expected per value, a count outside
  // 80..360 has a probability far below 1e-9 per run.
  for (int v = 0; v < 255; ++v) {
    EXPECT_GT(counts[v], 80) << v;
    EXPECT_LT(counts[v], 360) << v;
  }
}

}  // namespace
}  // namespace vesk::keyed
