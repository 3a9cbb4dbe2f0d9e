#include "threads/worker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "threads/queued_ui_thread.h"

namespace vesk {
namespace {

// A front end waiting for the end of its workers is woken by it, without a
// time limit to poll with.
TEST(Worker, TheEndOfAWorkerWakesAWaitingUserInterfaceThread) {
  QueuedUiThread ui;
  std::atomic<int> ends{0};
  SetWorkerEndObserver([&] {
    ++ends;
    ui.Wake();
  });
  std::atomic<bool> go{false};
  for (int i = 0; i < 3; ++i) {
    StartWorker([&] {
      while (!go) std::this_thread::yield();
    });
  }
  go = true;
  ui.RunUntil([] { return RunningWorkers() == 0; });  // returns only when woken
  SetWorkerEndObserver(nullptr);
  EXPECT_EQ(RunningWorkers(), 0);
  EXPECT_EQ(ends, 3);
}

}  // namespace
}  // namespace vesk
