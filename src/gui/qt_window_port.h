// The window port of the Qt window. Every call may come from a worker: off
// the user-interface thread it is handed to the queued user-interface thread
// and the caller waits until it has run there, so no widget is touched from a
// worker, calls keep their order, and the message box and the question give
// their answer back to the worker that waits for it. The compression
// component's Stop and the close handling pump the same queue while they
// wait, so a worker blocked here never deadlocks them.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <QUrl>

#include "app/port.h"
#include "threads/queued_ui_thread.h"

namespace vesk::gui {

class DialogProvider;
class MainWindow;

class QtWindowPort final : public WindowPort {
 public:
  QtWindowPort(MainWindow& window, DialogProvider& dialogs, QueuedUiThread& ui);
  ~QtWindowPort() override;

  void MessageBox(const std::string& text, const std::string& caption) override;
  bool Question(const std::string& text, const std::string& caption) override;
  bool CarefulQuestion(const std::string& text, const std::string& caption) override;
  void CloseQuestion() override;
  void SetStatusText(const std::string& text) override;
  void SetBarRange(int64_t max) override;
  void SetBarPosition(int64_t position) override;
  void SetEnabled(Control c, bool enabled) override;
  void SetCaption(Control c, const std::string& caption) override;
  void SetHint(Hint h, const std::string& text) override;
  std::string KeyText(Control box) override;
  std::optional<std::string> OpenDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> SaveDialog(const FileDialogSpec& setup) override;
  std::vector<std::string> OpenManyDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> FolderDialog(const FileDialogSpec& setup) override;
  ReplaceAnswer ReplaceQuestion(const std::string& text, const std::string& caption) override;
  void Beep() override;
  void SetKeylessItemsVisible(bool visible) override;
  void ProcessPendingMessages() override;
  void InformationBox(const std::string& text, const std::string& caption) override;
  std::optional<uint32_t> ColourDialog() override;
  void PopupMenuAt(int dx, int dy) override;
  void SetBrandCaption(const std::string& caption) override;
  void SetKeyHint(Control box, const std::string& text) override;
  void SetKeyText(Control box, const std::string& text) override;
  bool ControlEnabled(Control c) override;
  std::optional<std::string> StatusPanelText() override;
  // The clipboard, and on desktops that have one the selection as well
  // (which holds text selected in a key box), each emptied when it holds
  // text.
  void ClearClipboardText() override;
  // Opens the page with xdg-open, which runs the browser the desktop
  // names; when xdg-open ends in failure (no browser), OnPageNotOpened is
  // called on the user-interface thread.
  bool OpenSitePage(const std::string& path) override;
  std::string SitePageFile(const std::string& path) override;
  std::function<void(const std::string&)> OnPageNotOpened;
  bool StartProgram(const std::string& path) override;
  void SetReadyCommand(Control c) override;
  void FocusControl(Control c) override;
  void SetControlHint(Control c, const std::string& text) override;
  // The strong format (age_port.cpp).
  void SetKeyStrength(std::optional<int> score, const std::string& hint) override;
  std::optional<std::string> RecipientsDialog(const std::string& proposed) override;
  void CopyToClipboard(const std::string& text) override;
  void FocusKeyBox(Control box) override;
  bool CautiousQuestion(const std::string& text, const std::string& caption) override;
  std::optional<IdentityOptions> IdentityDialog() override;
  void ShowPassphrase(const std::string& text) override;
  std::optional<std::string> TextDialog(const std::string& text, bool secret) override;

  // The folder of the bundled pages; ProgramSiteFolder() unless set.
  void SetSiteFolder(const std::string& folder) { site_folder_ = folder; }
  const std::string& SiteFolder() const { return site_folder_; }
  // Opens a page's address in the browser; xdg-open (watched) unless set.
  void SetUrlOpener(std::function<bool(const QUrl&)> opener) { url_opener_ = std::move(opener); }

  // From the moment the window closes: no more boxes. A message is taken as
  // read and a question as answered No, so that the workers still running
  // reach their clean-up without waiting for a user.
  void SetClosing(bool closing) { closing_ = closing; }
  bool Closing() const { return closing_; }

  // Counts the beeps (the tests look at swallowed failures).
  int Beeps() const { return beeps_; }

 private:
  void OnUi(const std::function<void()>& fn);
  bool OpenInBrowser(const QUrl& url, const std::string& path);

  // Reached by the threads that watch a page opener; cleared when the port
  // goes, so a late report finds nobody to tell.
  struct PageWatch {
    std::mutex mutex;
    QtWindowPort* port = nullptr;
  };

  MainWindow& window_;
  DialogProvider& dialogs_;
  QueuedUiThread& ui_;
  std::atomic<bool> closing_{false};
  std::atomic<int> beeps_{0};
  std::string site_folder_;
  std::function<bool(const QUrl&)> url_opener_;
  std::shared_ptr<PageWatch> page_watch_;
};

}  // namespace vesk::gui
