#include "settings/window_size.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(WindowSize, SixClicksShrinkInThreeStepsGrowInThreeAndReturn) {
  WindowSize size;
  EXPECT_EQ(size.Height, 448);
  EXPECT_EQ(size.Caption, "<<<<<");
  const struct {
    int state, height;
    const char* caption;
  } expected[] = {{1, 388, "<<<<"}, {2, 315, "<<<"}, {3, 156, ">>"}, {4, 315, ">>>"}, {5, 388, ">>>>"}, {0, 448, "<<<<<"}};
  for (const auto& e : expected) {
    StepSizeCycle(size);
    EXPECT_EQ(size.SizeState, e.state);
    EXPECT_EQ(size.Height, e.height);
    EXPECT_EQ(size.Caption, e.caption);
  }
}

TEST(WindowSize, StatesOutsideTheCycleReEnterIt) {
  WindowSize size;
  StepSizeCycleFrom(size, -7);
  EXPECT_EQ(size.SizeState, 1);
  StepSizeCycleFrom(size, 42);
  EXPECT_EQ(size.SizeState, 0);
  EXPECT_EQ(size.Height, 448);
  // The command-line switches ">>>" and ">>>>".
  StepSizeCycleFrom(size, 3);
  EXPECT_EQ(size.Height, 315);
  EXPECT_EQ(size.Caption, ">>>");
  StepSizeCycleFrom(size, 4);
  EXPECT_EQ(size.Height, 388);
  EXPECT_EQ(size.Caption, ">>>>");
}

}  // namespace
}  // namespace vesk
