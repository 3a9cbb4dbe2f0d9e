// The window size cycle of the button `ResizeButton`: six states that fold the lower
// part of the main window away in three steps and bring it back in three.
// Pure state; the window applies Height and Caption, the settings code stores
// SizeState when the user clicked.
#pragma once

#include <string>

namespace vesk {

inline constexpr int kSizeStateCount = 6;
inline constexpr int kDesignedWindowHeight = 448;

// Whole-window height and `ResizeButton` caption of a state 0..5 (other states give
// those of state 0, the designed look).
int HeightForSizeState(int state);
const char* CaptionForSizeState(int state);

struct WindowSize {
  int SizeState = 0;                              // the Tag of `ResizeButton`
  int Height = kDesignedWindowHeight;             // whole window, pixels
  std::string Caption = CaptionForSizeState(0);   // caption of `ResizeButton`
};

// One click of `ResizeButton`: the state moves on (<= 0 -> 1, 1 -> 2, ..., >= 5 -> 0)
// and the height and caption follow it.
void StepSizeCycle(WindowSize& size);

// Sets the state and takes one step, as the start-up restore and the
// command-line switches ">>>" (state 3) and ">>>>" (state 4) do.
void StepSizeCycleFrom(WindowSize& size, int state);

}  // namespace vesk
