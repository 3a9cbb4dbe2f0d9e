// The test builds' hold: the environment names the run to hold.
#include <cstdlib>

#include "cli/test_hold.h"

namespace vesk::cli {

int TestHoldRun() {
  const char* run = std::getenv("VESK_TEST_HOLD_UNTIL_CANCEL");
  return run != nullptr ? std::atoi(run) : 0;
}

}  // namespace vesk::cli
