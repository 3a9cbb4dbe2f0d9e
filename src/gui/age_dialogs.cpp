// The dialogs of the strong format: several identity files at once, and the
// recipients of an encryption.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt_dialog_provider.h"
#include "gui/texts.h"

namespace vesk::gui {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

// Recipients files are small; a larger file is no recipients file.
constexpr qint64 kMaxRecipientsFile = 1 << 20;

}  // namespace

std::optional<std::string> QtDialogProvider::Recipients(QWidget* parent, const std::string& proposed) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(text::kRecipientsTitle));
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(Q(text::kRecipientsExplanation),
                           &dialog);
  layout->addWidget(label);
  auto* keys = new QPlainTextEdit(&dialog);
  keys->setObjectName("RecipientKeys");
  keys->setPlainText(QString::fromStdString(proposed));
  keys->setMinimumSize(520, 140);
  layout->addWidget(keys);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QPushButton* load = buttons->addButton(Q(text::kRecipientsFileButton), QDialogButtonBox::ActionRole);
  load->setObjectName("LoadRecipientsButton");
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(load, &QPushButton::clicked, &dialog, [this, &dialog, keys] {
    const auto path = OpenFile(&dialog, {text::kAllFilesFilter, 1, "", text::kRecipientsFileTitle});
    if (!path) return;
    QFile file(QString::fromStdString(*path));
    if (file.size() > kMaxRecipientsFile || !file.open(QIODevice::ReadOnly)) return keys->setFocus();
    QString text = keys->toPlainText();
    if (!text.isEmpty() && !text.endsWith('\n')) text += '\n';
    keys->setPlainText(text + QString::fromUtf8(file.readAll()));
  });
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return keys->toPlainText().toStdString();
}

}  // namespace vesk::gui
