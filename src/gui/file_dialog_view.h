// How the open and save dialogs show a folder when Qt draws them (where the
// desktop offers no dialog of its own): sizes and dates as a Chinese reader
// writes them, whatever the system's language; columns wide enough for
// them; and the size the user last left the dialog at.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QIdentityProxyModel>
#include <QLocale>
#include <QObject>
#include <QSize>

class QFileDialog;
class QFontMetrics;

namespace vesk::gui {

// The dialog's file system model with its size and date columns written by
// `locale` ("192.00 MiB", "2024/12/8 13:35" for Chinese) and folders typed
// text::kFolderType (the files' types are their MIME comments in the default
// locale's language).
class LocalisedFileColumns final : public QIdentityProxyModel {
 public:
  static constexpr int kNameColumn = 0, kSizeColumn = 1, kTypeColumn = 2, kDateColumn = 3;

  explicit LocalisedFileColumns(QLocale locale = QLocale(QLocale::Chinese, QLocale::China), QObject* parent = nullptr);
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  QLocale locale_;
};

// Widths of the name, size, type and date columns for the font `metrics`
// measures: each holds the longest text of its kind that `locale` writes
// (the name column a long name), with room for the header's sort mark.
std::array<int, 4> FileColumnWidths(const QFontMetrics& metrics, const QLocale& locale);

// Shapes `dialog` when it is shown, if Qt draws it: localised columns at
// FileColumnWidths and the dialog at `remembered` (else wide enough for its
// columns), within the screen. Afterwards Shaped() tells whether it did.
class FileDialogShaper final : public QObject {
 public:
  FileDialogShaper(QFileDialog& dialog, std::optional<QSize> remembered);
  bool Shaped() const { return shaped_; }
  // The size it gave the dialog.
  QSize ShapedSize() const { return shaped_size_; }
  // The size that fits the columns for the dialog's font.
  static QSize FittingSize(const QFileDialog& dialog);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Shape();

  QFileDialog& dialog_;
  std::optional<QSize> remembered_;
  bool shaped_ = false;
  QSize shaped_size_;
};

}  // namespace vesk::gui
