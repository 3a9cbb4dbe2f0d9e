// The dialogs of the strong format: the recipients of an encryption, the key
// generator's choices, a generated passphrase to copy, a line a plugin or a
// protected key asks for, and the question that defaults to No.
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
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

bool QtDialogProvider::CautiousQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, Q(caption.c_str()), Q(text.c_str()), QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName("CautiousQuestion");
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  FitTitle(box);
  return box.exec() == QMessageBox::Yes;
}

std::optional<WindowPort::IdentityOptions> QtDialogProvider::IdentityOptions(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName("IdentityDialog");
  dialog.setWindowTitle(Q(text::kIdentityTitle));
  auto* layout = new QVBoxLayout(&dialog);
  auto* post_quantum = new QRadioButton(Q(text::kIdentityPostQuantum), &dialog);
  post_quantum->setObjectName("IdentityPostQuantum");
  post_quantum->setToolTip(Q(text::kIdentityPostQuantumHint));
  post_quantum->setChecked(true);  // recommended
  auto* classic = new QRadioButton(Q(text::kIdentityClassic), &dialog);
  classic->setObjectName("IdentityClassic");
  classic->setToolTip(Q(text::kIdentityClassicHint));
  auto* kinds = new QButtonGroup(&dialog);
  kinds->addButton(post_quantum);
  kinds->addButton(classic);
  layout->addWidget(post_quantum);
  layout->addWidget(classic);
  auto* protect = new QCheckBox(Q(text::kIdentityProtect), &dialog);
  protect->setObjectName("IdentityProtect");
  protect->setToolTip(Q(text::kIdentityProtectHint));
  layout->addWidget(protect);
  auto* form = new QFormLayout;
  auto* first = new QLineEdit(&dialog);
  first->setObjectName("IdentityPassphrase");
  auto* second = new QLineEdit(&dialog);
  second->setObjectName("IdentityPassphraseAgain");
  for (QLineEdit* edit : {first, second}) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setEnabled(false);
    edit->setMinimumWidth(260);
  }
  form->addRow(Q(text::kIdentityPassphrase), first);
  form->addRow(Q(text::kIdentityPassphraseAgain), second);
  layout->addLayout(form);
  auto* mismatch = new QLabel(Q(text::kIdentityMismatch), &dialog);
  mismatch->setObjectName("IdentityMismatch");
  mismatch->setStyleSheet("color: #c0392b");
  layout->addWidget(mismatch);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  // OK only with the passphrase typed twice alike, when one is wanted.
  auto refresh = [=] {
    const bool on = protect->isChecked();
    first->setEnabled(on);
    second->setEnabled(on);
    const bool differ = on && first->text() != second->text();
    mismatch->setVisible(differ);
    ok->setEnabled(!on || (!first->text().isEmpty() && !differ));
  };
  QObject::connect(protect, &QCheckBox::toggled, &dialog, refresh);
  QObject::connect(first, &QLineEdit::textChanged, &dialog, refresh);
  QObject::connect(second, &QLineEdit::textChanged, &dialog, refresh);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  refresh();
  const bool accepted = dialog.exec() == QDialog::Accepted;
  WindowPort::IdentityOptions options;
  options.post_quantum = post_quantum->isChecked();
  if (accepted && protect->isChecked()) options.passphrase = SecretText(first->text().toStdString());
  // The typed text goes with the edits; what Qt keeps of it is out of reach.
  first->clear();
  second->clear();
  if (!accepted) return std::nullopt;
  return options;
}

void QtDialogProvider::ShowPassphrase(QWidget* parent, const std::string& phrase) {
  QDialog dialog(parent);
  dialog.setObjectName("PassphraseDialog");
  dialog.setWindowTitle(Q(text::kPassphraseShownTitle));
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(Q(text::kPassphraseShown), &dialog);
  label->setWordWrap(true);
  layout->addWidget(label);
  auto* line = new QLineEdit(QString::fromStdString(phrase), &dialog);
  line->setObjectName("GeneratedPassphrase");
  line->setReadOnly(true);
  line->setMinimumWidth(380);
  line->selectAll();
  layout->addWidget(line);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QPushButton* copy = buttons->addButton(Q(text::kCopyButton), QDialogButtonBox::ActionRole);
  copy->setObjectName("CopyPassphraseButton");
  layout->addWidget(buttons);
  QObject::connect(copy, &QPushButton::clicked, &dialog, [line] { QGuiApplication::clipboard()->setText(line->text()); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  dialog.exec();
  line->clear();
}

std::optional<std::string> QtDialogProvider::AskText(QWidget* parent, const std::string& text, bool secret) {
  QInputDialog dialog(parent);
  dialog.setObjectName("AskTextDialog");
  dialog.setWindowTitle(Q(text::kAskTitle));
  dialog.setLabelText(QString::fromStdString(text));
  dialog.setTextEchoMode(secret ? QLineEdit::Password : QLineEdit::Normal);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::string typed = dialog.textValue().toStdString();
  dialog.setTextValue(QString());
  return typed;
}

}  // namespace vesk::gui
