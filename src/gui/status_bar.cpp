#include "gui/status_bar.h"

#include <QFrame>
#include <QLabel>
#include <QPalette>

namespace vesk::gui {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

}  // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusLine");
  // Opaque in the button face colour: in the smaller window sizes it covers
  // the controls it is moved over.
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  Glyph = new QLabel(Q("  UFO飞行动力原理已公开!!"), this);
  Text = new QLabel(Q("  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作..."), this);
  for (QLabel* panel : {Glyph, Text}) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  Glyph->setGeometry(0, 1, 16, kStatusBarHeight - 1);
  Text->setGeometry(18, 1, 1050, kStatusBarHeight - 1);
}

}  // namespace vesk::gui
