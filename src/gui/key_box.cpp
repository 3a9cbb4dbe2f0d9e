#include "gui/key_box.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QKeySequence>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

#include "gui/texts.h"

namespace vesk::gui {
namespace {

// The cost of one QChar of plain text; a surrogate pair counts once.
int Cost(QChar c) {
  if (c == QLatin1Char('\n')) return 2;
  if (c.isLowSurrogate()) return 0;
  return 1;
}

// Every character that ends a line, in a paste or in a document.
bool BreaksLine(QChar c) {
  return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x0085) || c == QChar::LineSeparator ||
         c == QChar::ParagraphSeparator || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

// A pasted text as the box will hold it: each CR LF, CR or other line end one "\n".
QString AsKeyText(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  for (QChar& c : text) {
    if (BreaksLine(c)) c = QLatin1Char('\n');
  }
  return text;
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
  if (source->hasText()) {
    const QString pasted = source->text();
    // Refused whole, never cut: a key cut short opens nothing.
    KeyPasteRefusal why{};
    bool refused = false;
    if (single_line_ && std::any_of(pasted.begin(), pasted.end(), BreaksLine)) {
      why = KeyPasteRefusal::kLineBreak;
      refused = true;
    } else {
      const QString replaced = AsKeyText(textCursor().selectedText());
      const int after = KeyCharacterCount(toPlainText()) - KeyCharacterCount(replaced) + KeyCharacterCount(AsKeyText(pasted));
      refused = after > max_length_;
      why = KeyPasteRefusal::kTooLong;
    }
    if (refused) {
      if (OnPasteRefused) OnPasteRefused(why);
      return;
    }
  }
  QPlainTextEdit::insertFromMimeData(source);
}

void KeyBox::SetSingleLine(bool single) { single_line_ = single; }

void KeyBox::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (single_line_ && enter) {
    event->accept();
    if (OnEnter) OnEnter();
    return;
  }
  // The Menu key opens the window's menu, so the generator has a key of its
  // own for those who do not use the mouse.
  if (single_line_ && OnGenerate && event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_G)) {
    event->accept();
    OnGenerate();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void KeyBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu(event->pos());
  if (single_line_ && OnGenerate) {
    menu->addSeparator();
    QAction* generate = menu->addAction(QString::fromUtf8(text::kGeneratePassphraseItem.c_str()));
    generate->setObjectName("GeneratePassphraseItem");
    generate->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_G));
    connect(generate, &QAction::triggered, this, [this] {
      if (OnGenerate) OnGenerate();
    });
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
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
