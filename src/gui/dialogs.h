// The modal dialogs of the window: message boxes, questions and the open and
// save dialogs. The window port calls them on the user-interface thread; the
// tests put a scripted provider in place of the real one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QStringList>

#include "app/port.h"
#include "settings/value_store.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace vesk::gui {

class DialogProvider {
 public:
  virtual ~DialogProvider() = default;
  // Modal box with only an OK button and no icon.
  virtual void Message(QWidget* parent, const std::string& text, const std::string& caption) = 0;
  // Modal Yes/No box with the question icon; true for Yes.
  virtual bool Question(QWidget* parent, const std::string& text, const std::string& caption) = 0;
  // The same with No as the default button (Yes destroys or replaces a file).
  virtual bool CarefulQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
    return Question(parent, text, caption);
  }
  // Closes the open Yes/No box, if any, as answered No.
  virtual void CloseQuestion() {}
  // Modal box with an OK button and the information icon. Lines of `text`
  // are separated by CR LF.
  virtual void Information(QWidget* parent, const std::string& text, const std::string& caption) = 0;
  // The colour dialog; nullopt when cancelled.
  virtual std::optional<QColor> ChooseColour(QWidget* parent) = 0;
  virtual std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& setup) = 0;
  virtual std::optional<std::string> SaveFile(QWidget* parent, const FileDialogSpec& setup) = 0;
  // A file was dropped on the window: both file dialogs start in its folder.
  virtual void PresetFile(const std::string& /*path*/) {}
  // The open dialog with several files chosen at once; empty when cancelled.
  virtual std::vector<std::string> OpenFiles(QWidget* parent, const FileDialogSpec& setup) {
    auto one = OpenFile(parent, setup);
    return one ? std::vector<std::string>{*one} : std::vector<std::string>{};
  }
  // A folder chooser; nullopt when cancelled (and always, unless overridden).
  virtual std::optional<std::string> OpenFolder(QWidget* /*parent*/, const FileDialogSpec& /*setup*/) {
    return std::nullopt;
  }
  // The replace question among several files, with yes and no for all of them.
  virtual WindowPort::ReplaceAnswer ReplaceQuestion(QWidget* parent, const std::string& text,
                                                    const std::string& caption) {
    return Question(parent, text, caption) ? WindowPort::ReplaceAnswer::kYes : WindowPort::ReplaceAnswer::kNo;
  }
  // The recipients of an age encryption: "age1..." keys typed or pasted, or
  // loaded from a recipients file, starting from `proposed`; nullopt when
  // cancelled (and always, unless overridden).
  virtual std::optional<std::string> Recipients(QWidget* /*parent*/, const std::string& /*proposed*/) {
    return std::nullopt;
  }
  // The strong format's dialogs (age_dialogs.cpp). A yes/no question whose
  // default is No; the key generator's choices (nullopt: cancelled); a
  // generated passphrase shown to copy; a line typed in answer (hidden when
  // `secret`; nullopt: cancelled). Unless overridden: the question, the
  // recommended key, nothing shown, nothing typed.
  virtual bool CautiousQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
    return Question(parent, text, caption);
  }
  virtual std::optional<WindowPort::IdentityOptions> IdentityOptions(QWidget* /*parent*/) {
    return WindowPort::IdentityOptions{};
  }
  virtual void ShowPassphrase(QWidget* /*parent*/, const std::string& /*text*/) {}
  virtual std::optional<std::string> AskText(QWidget* /*parent*/, const std::string& /*text*/, bool /*secret*/) {
    return std::nullopt;
  }
  // The store the file dialogs keep their size in; none until set.
  virtual void UseSettingsStore(settings::ValueStore& /*values*/) {}
};

// The dialogs' "Label|pattern|Label|pattern" filter as Qt name filters:
// each label followed by its patterns in parentheses, which Qt reads; the
// dialog hides those (HideNameFilterDetails), so it shows each label as it
// is written. "*.*" means every file, dotted or not.
QStringList NameFiltersFor(const std::string& filter);

// The place (0-based) in `filters` of the filter a dialog reports as
// selected: it names the filter whole, or only its label while the details
// are hidden. -1 when none matches.
qsizetype FilterIndexOf(const QStringList& filters, const QString& selected);

// Widens a message box so that its whole title fits in the title bar the
// window manager draws (its buttons and icon included), which would
// otherwise cut the middle of a title longer than the text.
void FitTitle(QMessageBox& box);

// Sets up an open or save dialog: title, mode, filters with the
// `filter_index`-th (1-based) selected, and the proposed file or else
// `folder`.
void PrepareFileDialog(QFileDialog& dialog, const FileDialogSpec& setup, bool save, int filter_index,
                       const QString& folder);

}  // namespace vesk::gui
