#include "settings/window_size.h"

namespace vesk {
namespace {

struct SizeRow {
  int height;
  const char* caption;
};

// The arrows point the way the next click moves the window.
constexpr SizeRow kSizes[kSizeStateCount] = {
    {448, "<<<<<"}, {388, "<<<<"}, {315, "<<<"}, {156, ">>"}, {315, ">>>"}, {388, ">>>>"},
};

const SizeRow& RowFor(int state) { return kSizes[state >= 0 && state < kSizeStateCount ? state : 0]; }

}  // namespace

int HeightForSizeState(int state) { return RowFor(state).height; }
const char* CaptionForSizeState(int state) { return RowFor(state).caption; }

void StepSizeCycle(WindowSize& size) {
  int next;
  if (size.SizeState <= 0) {
    next = 1;
  } else if (size.SizeState >= kSizeStateCount - 1) {
    next = 0;
  } else {
    next = size.SizeState + 1;
  }
  size.SizeState = next;
  size.Height = HeightForSizeState(next);
  size.Caption = CaptionForSizeState(next);
}

void StepSizeCycleFrom(WindowSize& size, int state) {
  size.SizeState = state;
  StepSizeCycle(size);
}

}  // namespace vesk
