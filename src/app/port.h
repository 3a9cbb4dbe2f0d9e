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
#include <vector>

#include "app/control.h"
#include "core/reporting.h"
#include "core/secret_text.h"

namespace vesk {

// Settings of an open or save dialog. Filters are "Label|pattern|Label|pattern".
struct FileDialogSpec {
  std::string filter;
  int filter_index = -1;  // 1-based; -1 keeps the dialog's previous choice
  std::string file_name;  // proposed file (may be empty)
  std::string title;
};

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Modal box with OK, owned by the application; blocks until closed.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // Modal Yes/No question with the question icon; true for Yes.
  virtual bool Question(const std::string& text, const std::string& caption) = 0;
  // A Yes/No question whose Yes destroys or replaces a file (or gives up the
  // encryption): No is the default answer, the one Enter gives.
  virtual bool CarefulQuestion(const std::string& text, const std::string& caption) { return Question(text, caption); }
  // Closes the question that is open, if any, as answered No: what it asked
  // about is over. From any thread; nothing when no question is open.
  virtual void CloseQuestion() {}
  // One of the algorithm questions; asked as any other unless the front end
  // answers it from a setting.
  virtual bool AlgorithmQuestion(vesk::AlgorithmQuestion /*which*/, const std::string& text, const std::string& caption) {
    return Question(text, caption);
  }
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetBarRange(int64_t max) = 0;
  virtual void SetBarPosition(int64_t position) = 0;
  virtual void SetEnabled(Control c, bool enabled) = 0;
  virtual void SetCaption(Control c, const std::string& caption) = 0;
  virtual void SetHint(Hint h, const std::string& text) = 0;
  // The text of key box EncryptionKey or DecryptionKey as UTF-8, lines separated by CR LF.
  virtual std::string KeyText(Control box) = 0;
  // File dialogs (user-interface thread only); nullopt when cancelled.
  virtual std::optional<std::string> OpenDialog(const FileDialogSpec& setup) = 0;
  virtual std::optional<std::string> SaveDialog(const FileDialogSpec& setup) = 0;
  virtual void Beep() = 0;
  // Shows or removes the key-less items (and their separator) at the top of
  // the popup menu.
  virtual void SetKeylessItemsVisible(bool /*visible*/) {}
  // Runs the user interface's pending events once.
  virtual void ProcessPendingMessages() {}

  // ---- Appearance and small commands (user-interface thread only) ----------
  // A front end without these widgets keeps the defaults.

  // Modal box with OK and the information icon; blocks until closed.
  virtual void InformationBox(const std::string& text, const std::string& caption) { MessageBox(text, caption); }
  // The colour dialog; the chosen colour as a plain colour value 0x00BBGGRR,
  // nullopt when cancelled.
  virtual std::optional<uint32_t> ColourDialog() { return std::nullopt; }
  // Opens the popup menu at the screen point (dx, dy) from the top-left
  // corner of the window's frame.
  virtual void PopupMenuAt(int /*dx*/, int /*dy*/) {}
  virtual void SetBrandCaption(const std::string& /*caption*/) {}
  // The hint (tooltip) of key box EncryptionKey or DecryptionKey.
  virtual void SetKeyHint(Control /*box*/, const std::string& /*text*/) {}
  // Replaces the text of key box EncryptionKey or DecryptionKey (UTF-8).
  virtual void SetKeyText(Control /*box*/, const std::string& /*text*/) {}
  // Whether a control is enabled, as the logic last set it.
  virtual bool ControlEnabled(Control /*c*/) { return true; }
  // The text status panel 1 shows now; nullopt when the port does not know.
  virtual std::optional<std::string> StatusPanelText() { return std::nullopt; }
  // Empties the clipboard when it holds text; anything else it holds (a
  // picture, files) stays.
  virtual void ClearClipboardText() {}
  // Opens a page of the program's bundled site ("/jmz/Help.htm", "/") in
  // the user's browser; false when it could not be opened. A port that
  // learns only later that no browser took the page calls the window's
  // PageNotOpened then.
  virtual bool OpenSitePage(const std::string& /*path*/) { return false; }
  // The local file that holds a bundled page; empty when the port has none.
  virtual std::string SitePageFile(const std::string& /*path*/) { return {}; }
  // Starts a program detached from this one; false when it did not start.
  virtual bool StartProgram(const std::string& /*path*/) { return false; }
  // Makes command control `c` the one a key press starts (the keyboard
  // focus), as a context-menu item asked for it.
  virtual void SetReadyCommand(Control /*c*/) {}
  // Puts the keyboard focus on control `c` (a key box, say, that waits for
  // the key).
  virtual void FocusControl(Control /*c*/) {}
  // The hint (tooltip) of a command button; empty gives it back its own.
  virtual void SetControlHint(Control /*c*/, const std::string& /*text*/) {}

  // ---- The strong format (age) ------------------------------------------------

  // The text of key box EncryptionKey or DecryptionKey as a passphrase:
  // UTF-8 as typed, lines separated by LF (the key box's CR LF undone).
  virtual std::string PassphraseText(Control box) {
    std::string text = KeyText(box), out;
    out.reserve(text.size());  // no reallocation leaves a copy behind
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    }
    // The copy with CR LF holds the passphrase too; volatile writes stay.
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    return out;
  }
  // Shows the strength meter of EncryptionKey: a score 0 (weakest) .. 4 and
  // its hint; nullopt hides the meter.
  virtual void SetKeyStrength(std::optional<int> /*score*/, const std::string& /*hint*/) {}
  // Asks for the recipients of an encryption: "age1..." keys, one per line,
  // pasted or loaded from a recipients file, starting from `proposed`;
  // nullopt when cancelled.
  virtual std::optional<std::string> RecipientsDialog(const std::string& /*proposed*/) { return std::nullopt; }
  // Puts text on the clipboard.
  virtual void CopyToClipboard(const std::string& /*text*/) {}
  // Moves the keyboard focus into key box `box`.
  virtual void FocusKeyBox(Control /*box*/) {}
  // A yes/no question whose default answer is No.
  virtual bool CautiousQuestion(const std::string& text, const std::string& caption) { return Question(text, caption); }
  // The key generator's choices: the key's kind (post-quantum is
  // recommended) and, for a protected identity file, its passphrase.
  // nullopt when cancelled; a front end without the dialog takes the
  // recommended choice.
  struct IdentityOptions {
    bool post_quantum = true;
    SecretText passphrase;  // empty: the file is not protected
  };
  virtual std::optional<IdentityOptions> IdentityDialog() { return IdentityOptions{}; }
  // Shows a generated passphrase so that it can be copied.
  virtual void ShowPassphrase(const std::string& /*text*/) {}
  // A line the user types in answer to `text` (not shown when `secret`);
  // nullopt when cancelled or when nobody can be asked.
  virtual std::optional<std::string> TextDialog(const std::string& /*text*/, bool /*secret*/) { return std::nullopt; }

  // ---- Several files and folders (user-interface thread only) ---------------

  // The open dialog with several files (or folders) chosen at once; empty
  // when cancelled. A front end without it offers its single choice.
  virtual std::vector<std::string> OpenManyDialog(const FileDialogSpec& setup) {
    auto one = OpenDialog(setup);
    return one ? std::vector<std::string>{*one} : std::vector<std::string>{};
  }
  // The replace question while several files are worked on: besides Yes and
  // No, the answer for every further file of the batch (yes or no to all).
  using ReplaceAnswer = vesk::ReplaceAnswer;
  virtual ReplaceAnswer ReplaceQuestion(const std::string& text, const std::string& caption) {
    return Question(text, caption) ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
  }
  // Whether to unpack the tar file a decryption has just written (the
  // question names it and the folder it goes to); a front end may answer
  // from a setting of its own.
  virtual bool UnpackQuestion(const std::string& text, const std::string& caption) { return Question(text, caption); }
  // A folder chooser; nullopt when cancelled (and always, unless overridden).
  virtual std::optional<std::string> FolderDialog(const FileDialogSpec& /*setup*/) { return std::nullopt; }
  // Another name for the folder to unpack into, the proposed one being taken;
  // nullopt: do not unpack.
  virtual std::optional<std::string> NewFolderDialog(const FileDialogSpec& setup) { return SaveDialog(setup); }
};

}  // namespace vesk
