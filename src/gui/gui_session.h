// One running window: the queued user-interface thread, the form, its port,
// and the window logic, wired together. The commands that exist are bound to
// their controls; the controls of commands still to come stay disabled.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/window_logic.h"
#include "gui/main_window.h"
#include "gui/qt_ui_thread.h"
#include "gui/qt_window_port.h"

namespace vesk::settings {
class ValueStore;
}

namespace vesk::gui {

class DialogProvider;

class GuiSession {
 public:
  // How long closing waits for running operations to delete their partial
  // output before the program ends anyway.
  static constexpr std::chrono::seconds kCloseWait{30};

  // Construct after the QApplication. `values` holds the settings; null
  // means the user's settings file.
  explicit GuiSession(DialogProvider& dialogs, settings::ValueStore* values = nullptr);
  ~GuiSession();
  GuiSession(const GuiSession&) = delete;
  GuiSession& operator=(const GuiSession&) = delete;

  // The creation handler with the command line (without the program name);
  // `own` replaces the running program as the file read for a payload.
  void Start(const std::vector<std::string>& args, const std::optional<WindowLogic::OwnFile>& own = std::nullopt);
  // A context-menu item's request after Start: the first file preselected
  // in the open dialogs as a dropped file is, the command ready.
  void ApplyMenuRequest(const MenuRequest& request);
  // Shows the window centred on the desktop.
  void Show();

  // Makes a command control usable and runs `handler` on its clicks.
  void Bind(Control c, std::function<void()> handler);
  // The same for a popup item by its object name ("ClearKeysItem", "AboutItem", ...).
  void BindItem(const std::string& name, std::function<void()> handler);

  MainWindow& Window() { return window_; }
  WindowLogic& Logic() { return logic_; }
  QtWindowPort& Port() { return port_; }
  QueuedUiThread& Ui() { return ui_.Queue(); }

 private:
  // The strong format's popup items, format choice and strength meter.
  void BindAgeCommands();
  void Close();
  void Drop(const std::vector<std::string>& paths);
  // Runs a handler from the event loop, which must never see an exception.
  void Guarded(const std::function<void()>& handler);

  DialogProvider& dialogs_;
  std::unique_ptr<settings::ValueStore> own_values_;
  QtUiThread ui_;  // first in, last out: everything below marshals through it
  MainWindow window_;
  QtWindowPort port_;
  WindowLogic logic_;
  bool closed_ = false;
  bool shred_item_was_stop_ = false;  // when the popup menu last opened
};

}  // namespace vesk::gui
