// The window logic with a scripted port and a user-interface thread the test
// pumps, in fresh folders: one for the files, one as the temporary folder.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/window_logic.h"
#include "crypto/keyed/header_reader.h"
#include "platform/input_file.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::testing {

// Pumps `ui` until the command of `busy` is idle in `window` and no worker
// runs; fails the test after a minute.
inline void WaitIdle(QueuedUiThread& ui, WindowLogic& window, Control busy) {
  auto idle = [&] { return window.Tag(busy) == 0 && RunningWorkers() == 0; };
  // A worker that ends queues nothing, so look again every few milliseconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!idle() && std::chrono::steady_clock::now() < deadline) ui.RunUntil(idle, std::chrono::milliseconds(5));
  ASSERT_TRUE(idle());
}

class WindowLogicTest : public ::testing::Test {
 protected:
  WindowLogicTest() {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    window_ = std::make_unique<WindowLogic>(port_, ui_);
    window_->SetCommandState(Operation::MenuCommand, true);
  }
  ~WindowLogicTest() override {
    window_.reset();
    unsetenv("TMPDIR");
  }

  // Pumps the user-interface thread until the command is idle and nothing runs.
  void WaitIdle(Control busy) { WaitIdle(*window_, busy); }
  void WaitIdle(WindowLogic& window, Control busy) { testing::WaitIdle(ui_, window, busy); }
  void Encrypt(const std::string& source, std::optional<std::string> save) {
    port_.open_answers.push_back(source);
    port_.save_answers.push_back(save);
    window_->EncryptClicked();
    WaitIdle(Control::EncryptButton);
  }
  void Decrypt(const std::string& source, std::optional<std::string> save) {
    port_.open_answers.push_back(source);
    port_.save_answers.push_back(save);
    window_->DecryptClicked();
    WaitIdle(Control::DecryptButton);
  }
  // At the first bar move of a run that compresses first (its first stage),
  // clicks `button` once more — as a click of its own — and answers its
  // cancel question with `answer`. The flag tells whether it happened.
  void ClickDuringCompression(Control button, bool answer) {
    ClickOnProgress(button, answer, [] { return true; });
  }
  // The same at the first bar move while `when()` holds. The bar may move on
  // a worker thread: the click is posted to the user-interface thread, and
  // the worker waits there until the click has begun (`hold_until_done`:
  // until it has been handled), so that the run cannot end before it.
  void ClickOnProgress(Control button, bool answer, std::function<bool()> when, bool hold_until_done = true) {
    click_started_ = click_done_ = false;
    port_.on_bar_position = [this, button, answer, when, hold_until_done](int64_t pos) {
      if (clicked_ || pos <= 0 || !when()) return;
      clicked_ = true;
      port_.question_answers.push_back(answer);
      ui_.Post([this, button] {
        click_started_ = true;
        Click(button);
        click_done_ = true;
      });
      if (ui_.IsUiThread()) return;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!(hold_until_done ? click_done_ : click_started_) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    };
  }
  void Click(Control button) {
    switch (button) {
      case Control::EncryptButton: return window_->EncryptClicked();
      case Control::DecryptButton: return window_->DecryptClicked();
      case Control::KeylessEncryptItem: return window_->KeylessEncryptCommand();
      case Control::KeylessDecryptItem: return window_->KeylessDecryptCommand();
      case Control::SelfDecryptButton: return window_->SelfDecryptClicked();
      default: FAIL() << "no such command";
    }
  }
  // The fixed blocks of the keyed container `path` (its layer, its
  // compression level).
  static keyed::FixedBlocks ContainerFields(const std::string& path) {
    InputFile in(path);
    return keyed::ReadHeader(in, 0, in.Size()).fields;
  }
  std::size_t TempFiles() { return FilesIn(tmp_.path()); }
  static std::size_t FilesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
  }

  TempDir dir_, tmp_;
  ScriptedPort port_;
  QueuedUiThread ui_;
  std::unique_ptr<WindowLogic> window_;
  std::atomic<bool> clicked_{false}, click_started_{false}, click_done_{false};
};

}  // namespace vesk::testing
