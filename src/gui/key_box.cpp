#include "gui/key_box.h"

#include <algorithm>

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

namespace vesk::gui {
namespace {

// The cost of one QChar of plain text; a surrogate pair counts once.
int Cost(QChar c) {
  if (c == QLatin1Char('\n')) return 2;
  if (c.isLowSurrogate()) return 0;
  return 1;
}

}  // namespace

int KeyCharacterCount(const QString& text) {
  int n = 0;
  for (QChar c : text) n += Cost(c);
  return n;
}

KeyBox::KeyBox(QWidget* parent) : QPlainTextEdit(parent) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setTabChangesFocus(true);
  // Drops go to the window, which takes a dropped file.
  setAcceptDrops(false);
  viewport()->setAcceptDrops(false);
  connect(document(), &QTextDocument::contentsChange, this, [this](int position, int, int added) {
    inserted_at_ = position;
    inserted_count_ = added;
  });
  connect(this, &QPlainTextEdit::textChanged, this, [this] { EnforceLimit(); });
}

std::string KeyBox::CrLfText() const {
  QString text = toPlainText();
  text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return text.toStdString();
}

bool KeyBox::canInsertFromMimeData(const QMimeData* source) const {
  if (source->hasUrls()) return false;
  return QPlainTextEdit::canInsertFromMimeData(source);
}

void KeyBox::insertFromMimeData(const QMimeData* source) {
  // A paste inserts without asking canInsertFromMimeData.
  if (source->hasUrls()) return;
  QPlainTextEdit::insertFromMimeData(source);
}

void KeyBox::EnforceLimit() {
  if (enforcing_ || inserted_count_ <= 0) return;
  const QString text = toPlainText();
  int excess = KeyCharacterCount(text) - max_length_;
  if (excess <= 0) return;
  // Plain-text positions are document positions (a paragraph break is one
  // "\n"); the inserted range may reach past the end of the text by the
  // final block separator, which is not text.
  const int start = std::clamp(inserted_at_, 0, static_cast<int>(text.size()));
  const int end = std::clamp(inserted_at_ + inserted_count_, start, static_cast<int>(text.size()));
  int cut = end;
  // Text that was there before the edit stays: it was within the limit.
  while (cut > start && excess > 0) {
    --cut;
    if (text[cut].isLowSurrogate() && cut > start && text[cut - 1].isHighSurrogate()) --cut;
    excess -= Cost(text[cut]);
  }
  enforcing_ = true;
  QTextCursor cursor(document());
  cursor.setPosition(cut);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  enforcing_ = false;
  inserted_count_ = 0;
  QTextCursor caret = textCursor();
  caret.setPosition(std::min(cut, static_cast<int>(toPlainText().size())));
  setTextCursor(caret);
}

}  // namespace vesk::gui
