// What the window logic needs from a user interface: message boxes, the
// status line, the progress bar, the controls' state, the key boxes and the
// file dialogs. The Qt window, the command-line front end and the tests each
// implement it. Every call may come from a worker thread; an implementation
// that owns real widgets marshals the call to its user-interface thread and,
// for the message box and the question, waits for the answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/reporting.h"

namespace vesk {

// Settings of an open or save dialog. Filters are "Label|pattern|Label|pattern".
struct FileDialogSpec {
  std::string filter;
  int filter_index = -1;  // 1-based; -1 keeps the dialog's previous choice
  std::string file_name;  // proposed file (may be empty)
  std::string title;
};

enum class Hint { ProgressBar1, StatusBar1 };

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Modal box with OK, owned by the application; blocks until closed.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // Modal Yes/No question with the question icon; true for Yes.
  virtual bool Question(const std::string& text, const std::string& caption) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetBarRange(int64_t max) = 0;
  virtual void SetBarPosition(int64_t position) = 0;
  virtual void SetEnabled(Control c, bool enabled) = 0;
  virtual void SetCaption(Control c, const std::string& caption) = 0;
  virtual void SetHint(Hint h, const std::string& text) = 0;
  // The text of key box jm1 or jm2 as UTF-8, lines separated by CR LF.
  virtual std::string KeyText(Control box) = 0;
  // File dialogs (user-interface thread only); nullopt when cancelled.
  virtual std::optional<std::string> OpenDialog(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::string> SaveDialog(const FileDialogSpec& spec) = 0;
  virtual void Beep() = 0;
  // Shows or removes the key-less items (and their separator) at the top of
  // the popup menu.
  virtual void SetKeylessItemsVisible(bool /*visible*/) {}
  // Runs the user interface's pending events once.
  virtual void ProcessPendingMessages() {}
};

}  // namespace vesk
