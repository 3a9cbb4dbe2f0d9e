#include "threads/queued_ui_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vesk {
namespace {

using std::chrono::milliseconds;

TEST(QueuedUiThread, SynchronizeFromAnotherThreadRunsOnTheUiThreadAndWaits) {
  QueuedUiThread ui;
  const auto ui_id = std::this_thread::get_id();
  std::thread::id ran_on;
  bool seen_after_return = false;
  std::string error;
  std::atomic<bool> finished{false};

  std::thread worker([&] {
    int value = 0;
    ui.Synchronize([&] {
      ran_on = std::this_thread::get_id();
      value = 42;
    });
    seen_after_return = value == 42;  // the call has run before Synchronize returns
    try {
      ui.Synchronize([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    finished = true;
    ui.Wake();
  });
  ASSERT_TRUE(ui.RunUntil([&] { return finished.load(); }, milliseconds(5000)));
  worker.join();

  EXPECT_EQ(ran_on, ui_id);
  EXPECT_TRUE(seen_after_return);
  EXPECT_EQ(error, "handler failed");
}

TEST(QueuedUiThread, OnTheUiThreadSynchronizeRunsAtOncePostWaitsForItsTurn) {
  QueuedUiThread ui;
  EXPECT_TRUE(ui.IsUiThread());
  std::vector<std::string> order;
  ui.Post([&] {
    order.push_back("a");
    ui.Post([&] { order.push_back("late"); });  // queued during the round: next round
    ui.ProcessPending();                         // a nested round keeps the order
  });
  ui.Post([&] { order.push_back("b"); });
  ui.Synchronize([&] { order.push_back("sync"); });
  EXPECT_EQ(order, (std::vector<std::string>{"sync"}));
  EXPECT_EQ(ui.PendingCount(), 2u);

  ui.ProcessPending();
  EXPECT_EQ(order, (std::vector<std::string>{"sync", "a", "b", "late"}));
  EXPECT_EQ(ui.PendingCount(), 0u);

  std::thread other([&] { EXPECT_FALSE(ui.IsUiThread()); });
  other.join();
}

TEST(QueuedUiThread, WakeCallbackFollowsEveryEnqueueAndPumpingSleepsUntilWork) {
  QueuedUiThread ui;
  std::atomic<int> wakes{0};
  ui.SetWakeCallback([&] { ++wakes; });
  ui.Post([] {});
  ui.Post([] {});
  EXPECT_EQ(wakes.load(), 2);
  ui.ProcessPending();

  // Nothing arrives: the timed form gives up with the condition still false.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ui.RunUntil([] { return false; }, milliseconds(30)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(30));

  // A condition changed by another thread without a queued call needs Wake().
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    std::this_thread::sleep_for(milliseconds(10));
    flag = true;
    ui.Wake();
  });
  EXPECT_TRUE(ui.RunUntil([&] { return flag.load(); }, milliseconds(5000)));
  setter.join();

  int runs = 0;
  std::thread poster([&] { ui.Post([&] { ++runs; }); });
  ui.RunFor(milliseconds(40));  // runs what arrives, returns when the time is up
  poster.join();
  EXPECT_EQ(runs, 1);
}

TEST(QueuedUiThread, ClosingReleasesABlockedSynchronizeWithoutRunningIt) {
  auto ui = std::make_unique<QueuedUiThread>();
  std::promise<void> queued;
  ui->SetWakeCallback([&] { queued.set_value(); });
  bool ran = false;
  bool closed = false;
  std::thread worker([&] {
    try {
      ui->Synchronize([&] { ran = true; });
    } catch (const UiThreadClosed&) {
      closed = true;
    }
  });
  queued.get_future().wait();
  ui.reset();
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace vesk
