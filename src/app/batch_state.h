// What a command working on several files keeps while it runs (see
// batch_commands.cpp); apart, so that the window logic can be destroyed
// where it is defined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/window_logic.h"

namespace vesk {

struct WindowLogic::Batch {
  BatchCommand command = BatchCommand::kEncrypt;
  std::vector<std::string> paths;
  std::vector<int64_t> weights;  // bytes of each file (a folder's packing weight)
  int64_t total = 1;
  int64_t done = 0;              // weights of the files ended
  int64_t bar_max = 100;
  std::size_t next = 0;          // the next file to begin
  std::size_t current = 0;       // the file at work (valid once one has begun)
  bool begun = false;

  struct Item {
    RunResult result;
    std::vector<std::string> notes;  // the messages shown while it was worked on
    std::string last_status;         // the status line it ended with
  };
  std::vector<Item> items;

  mutable std::mutex mutex;  // guards what the workers touch below
  bool cancelled = false;
  std::optional<bool> replace_all;
  // The bar of the file at work: its parts (a compression, then the
  // cipher), the range of the part running and how far the file has come.
  int parts = 1;
  int part = -1;
  int64_t part_max = 1;
  double shown = 0;
};

}  // namespace vesk
