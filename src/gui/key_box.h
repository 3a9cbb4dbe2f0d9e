// A key box (EncryptionKey, DecryptionKey): a multi-line edit that holds at most 1028
// characters, a line break counting two (it is stored as CR LF), and gives its
// text with CR LF between the lines. For the strong format it takes one line:
// Enter is passed on instead of breaking the line, and a paste that holds a
// line break is refused, as is a paste that would pass the limit.
#pragma once

#include <functional>
#include <string>

#include <QPlainTextEdit>

namespace vesk::gui {

inline constexpr int kKeyBoxMaxLength = 1028;

// Characters of a key text as the limit counts them: one per code point, two
// per line break.
int KeyCharacterCount(const QString& text);

// Why a paste was refused.
enum class KeyPasteRefusal { kLineBreak, kTooLong };

class KeyBox final : public QPlainTextEdit {
 public:
  explicit KeyBox(QWidget* parent = nullptr);

  // The text as UTF-8, lines separated by CR LF, no line break appended.
  std::string CrLfText() const;

  int MaxLength() const { return max_length_; }

  // One line (the strong format's passphrase) or several.
  void SetSingleLine(bool single);
  bool SingleLine() const { return single_line_; }

  // A paste refused; Enter pressed in a one-line box; the edit menu's
  // "generate" item (offered in a one-line box only, when set).
  std::function<void(KeyPasteRefusal)> OnPasteRefused;
  std::function<void()> OnEnter;
  std::function<void()> OnGenerate;

 protected:
  // Files dropped on a key box are meant for the window, not for the key;
  // a file copied in a file manager and pasted is no key text either.
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Cuts what an edit inserted beyond the limit, from the end of the
  // inserted text, as a length-limited edit control does with typing.
  void EnforceLimit();

  int max_length_ = kKeyBoxMaxLength;
  bool single_line_ = false;
  int inserted_at_ = -1;   // the last change: where it inserted,
  int inserted_count_ = 0; // and how many positions
  bool enforcing_ = false;
};

}  // namespace vesk::gui
