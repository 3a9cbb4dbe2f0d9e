// What the encrypt and decrypt buttons and the key-less items keep while a
// run of theirs goes on (see file_commands.cpp); apart, so that the window
// logic can be destroyed where it is defined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/window_logic.h"
#include "commands/command.h"
#include "commands/plan.h"
#include "commands/request.h"
#include "core/stop.h"

namespace vesk {

// The run of the encrypt or decrypt button: the request, the commands that
// planned its items, the plan, and the run's own stop. Among several files,
// what the bar, the status line and the summary need.
struct WindowLogic::FileRun {
  Operation op = Operation::Encrypt;
  commands::FileRequest request;
  std::vector<std::unique_ptr<commands::Command<commands::FileRequest>>> commands;
  std::vector<commands::Command<commands::FileRequest>*> command_of;  // the command of each planned item
  commands::Plan plan;
  StopSource stop;

  bool batch = false;
  std::vector<std::string> sources;
  struct Item {
    std::vector<std::string> notes;  // the messages shown while it was worked on
    std::string last_status;         // the status line it ended with
  };
  std::vector<Item> items;
  std::vector<int64_t> weights;  // bytes of each source (a folder's packing weight)
  int64_t total = 1, done = 0, bar_max = 100;
  std::optional<bool> replace_all;  // the replace question's answer for the rest
  // One file: the last message of the run, shown once the run goes on (a
  // question, a move of the bar) or, when it was the run's ending, after
  // the command is idle again.
  std::optional<std::string> held_message;

  mutable std::mutex mutex;  // guards what the worker touches below
  std::size_t current = 0;
  bool begun = false;
  int64_t part_max = 1;
  double shown = 0;  // how far the file at work has come, 0..1, never backwards

  ~FileRun() {
    request.keys.key.Wipe();
    request.keys.decrypt_key.Wipe();
    request.keys.passphrase.Wipe();
  }
};

}  // namespace vesk
