// The strong format's controls on the main window: the format choice under
// the ratio group and the strength meter under the encryption key box.
#include <algorithm>

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

#include "gui/key_box.h"
#include "gui/main_window.h"
#include "gui/texts.h"

namespace vesk::gui {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

// The meter's colours by score: red, orange, amber, green, dark green.
constexpr const char* kScoreColours[5] = {"#c0392b", "#d35400", "#b7950b", "#1e8449", "#145a32"};

}  // namespace

void MainWindow::BuildAgeControls() {
  FormatLabel = new QLabel(Q(text::kFormatLabel), this);
  FormatLabel->setObjectName("FormatLabel");
  FormatLabel->setAttribute(Qt::WA_NoMousePropagation);
  FormatLabel->setGeometry(18, 321, 66, 17);

  FormatItems = new QButtonGroup(this);
  const struct {
    const char* name;
    const char* caption;
    const char* hint;
    QRect geometry;
  } items[] = {
      {"FormatJmz", text::kFormatJmz, text::kFormatJmzHint, {84, 320, 96, 19}},
      {"FormatAge", text::kFormatAge, text::kFormatAgeHint, {182, 320, 130, 19}},
  };
  for (int i = 0; i < 2; ++i) {
    auto* item = new QRadioButton(Q(items[i].caption), this);
    item->setObjectName(items[i].name);
    item->setToolTip(Q(items[i].hint));
    item->setAttribute(Qt::WA_NoMousePropagation);
    item->setGeometry(items[i].geometry);
    FormatItems->addButton(item, i);
  }
  FormatItem(0)->setChecked(true);

  KeyStrength = new QLabel(this);
  KeyStrength->setObjectName("KeyStrength");
  KeyStrength->setGeometry(16, 250, 201, 16);
  KeyStrength->setTextFormat(Qt::RichText);
  KeyStrength->setToolTip(Q(text::kKeyStrengthHint));
  KeyStrength->hide();
}

QRadioButton* MainWindow::FormatItem(int index) const { return static_cast<QRadioButton*>(FormatItems->button(index)); }

void MainWindow::ApplyFormat(settings::FileFormat format) {
  const bool age = format == settings::FileFormat::Age;
  {
    // A choice made in code does not come back as the user's.
    const QSignalBlocker blocker(FormatItems);
    QAbstractButton* item = FormatItems->button(age ? 1 : 0);
    const QSignalBlocker item_blocker(item);
    item->setChecked(true);
  }
  // age files are never compressed first.
  RatioGroup->setEnabled(!age);
  EncryptionKeyLabel->setText(Q(age ? text::kPassphraseLabel : text::kEncryptionKeyLabel));
  DecryptionKeyLabel->setText(Q(age ? text::kConfirmationLabel : text::kDecryptionKeyLabel));
  EncryptionKeyLabel->adjustSize();
  DecryptionKeyLabel->adjustSize();
  // A passphrase is one line: Enter moves on instead of breaking it.
  EncryptionKey->SetSingleLine(age);
  DecryptionKey->SetSingleLine(age);
  if (!age) KeyStrength->hide();
}

void MainWindow::SetKeyStrength(std::optional<int> score, const std::string& hint) {
  if (!score) {
    KeyStrength->hide();
    return;
  }
  const int s = std::clamp(*score, 0, 4);
  const QString marks = QString(QChar(0x25A0)).repeated(s + 1) + QString(QChar(0x25A1)).repeated(4 - s);
  KeyStrength->setText(QString("<span style=\"color:%1\">%2</span> %3 %4")
                           .arg(Q(kScoreColours[s]), marks, Q(text::kKeyStrength), QString::fromStdString(hint).toHtmlEscaped()));
  KeyStrength->setAccessibleName(QString::fromStdString(hint));
  KeyStrength->show();
}

}  // namespace vesk::gui
