#include "gui/status_bar.h"
#include "gui/texts.h"

#include <algorithm>

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QRegularExpression>

#include "gui/icon.h"

namespace vesk::gui {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

// Space between panel 1's frame and its text.
constexpr int kTextIndent = 3;

}  // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusLine");
  // Opaque in the button face colour: in the smaller window sizes it covers
  // the controls it is moved over.
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  Glyph = new QLabel(this);
  Text = new QLabel(this);
  for (QLabel* panel : {Glyph, Text}) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
  }
  // Panel 0 is too narrow for any text: it shows the icon, whole.
  Glyph->setAlignment(Qt::AlignCenter);
  Glyph->setGeometry(0, 1, 16, kStatusBarHeight - 1);
  const int side = std::min(Glyph->contentsRect().width(), Glyph->contentsRect().height());
  Glyph->setPixmap(QPixmap::fromImage(DrawVeskIcon(side)));
  Text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Text->setIndent(kTextIndent);
  Text->setGeometry(18, 1, 424, kStatusBarHeight - 1);
  SetMessage(Q(text::kStatusBarStart));
}

QString StatusBar::OneLine(const QString& text) {
  static const QRegularExpression kBreaks(QStringLiteral("[\r\n]+"));
  return text.split(kBreaks, Qt::SkipEmptyParts).join(' ');
}

void StatusBar::SetMessage(const QString& text) {
  message_ = text;
  Refresh();
}

void StatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Text->setGeometry(18, 1, std::max(width() - 18, 0), kStatusBarHeight - 1);
  Refresh();
}

void StatusBar::Refresh() {
  const QString line = OneLine(message_);
  const int room = Text->contentsRect().width() - 2 * kTextIndent;
  const QString shown = Text->fontMetrics().elidedText(line, Qt::ElideMiddle, std::max(room, 0));
  Text->setText(shown);
  // The tooltip is always the message the line shows, whole.
  Text->setToolTip(QString(message_).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

}  // namespace vesk::gui
