// The popup items that tie the program into the desktop: the ".jmz" file
// association, the context-menu entry for every file, and the removal of
// both with the settings. They work silently; a failure only beeps.
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "app/window_logic.h"

namespace vesk {
namespace {

// The running program's own file, as the entries must start it (a
// self-decrypting executable registers itself).
std::string RunningProgram() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) throw std::runtime_error("the program's path is unknown");
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

}  // namespace

void WindowLogic::RegisterFileTypeClicked() {
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    if (!shell::RegisterAssociation(at, ShellProgram.empty() ? RunningProgram() : ShellProgram).ok()) Beep();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::AddContextMenuClicked() {
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    if (!shell::AddContextMenu(at, ShellProgram.empty() ? RunningProgram() : ShellProgram).ok()) Beep();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::UnregisterClicked() {
  bool failed = false;
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    failed = !shell::RemoveAll(at).ok();
  } catch (...) {
    failed = true;
  }
  // The settings go even when an entry could not be removed; the window
  // keeps showing what it shows until it closes.
  try {
    (values_ != nullptr ? *values_ : memory_values_).Remove();
  } catch (...) {
    failed = true;
  }
  if (failed) Beep();
}

}  // namespace vesk
