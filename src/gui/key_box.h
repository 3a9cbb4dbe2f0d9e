// A key box (EncryptionKey, DecryptionKey): a multi-line edit that holds at most 1028
// characters, a line break counting two (it is stored as CR LF), and gives its
// text with CR LF between the lines.
#pragma once

#include <string>

#include <QPlainTextEdit>

namespace vesk::gui {

inline constexpr int kKeyBoxMaxLength = 1028;

// Characters of a key text as the limit counts them: one per code point, two
// per line break.
int KeyCharacterCount(const QString& text);

class KeyBox final : public QPlainTextEdit {
 public:
  explicit KeyBox(QWidget* parent = nullptr);

  // The text as UTF-8, lines separated by CR LF, no line break appended.
  std::string CrLfText() const;

  int MaxLength() const { return max_length_; }

 protected:
  // Files dropped on a key box are meant for the window, not for the key;
  // a file copied in a file manager and pasted is no key text either.
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // Cuts what an edit inserted beyond the limit, from the end of the
  // inserted text, as a length-limited edit control does with a paste.
  void EnforceLimit();

  int max_length_ = kKeyBoxMaxLength;
  int inserted_at_ = -1;   // the last change: where it inserted,
  int inserted_count_ = 0; // and how many positions
  bool enforcing_ = false;
};

}  // namespace vesk::gui
