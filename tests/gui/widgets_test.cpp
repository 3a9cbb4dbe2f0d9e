// The pieces of the window with rules of their own: the key boxes' limit and
// line breaks, the dialogs' filters and the colour values.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <QFileDialog>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/colours.h"
#include "gui/dialogs.h"
#include "gui/key_box.h"

namespace vesk::gui {
namespace {

QString Repeat(const char* utf8, int n) { return QString::fromUtf8(utf8).repeated(n); }

TEST(KeyBox, PastesAndTypingStopAtTheLimitCountingLineBreaksTwice) {
  KeyBox box;
  box.insertPlainText(Repeat("密", 2000));  // a paste too long for the box
  EXPECT_EQ(box.toPlainText().size(), 1028);

  box.clear();
  box.insertPlainText(Repeat("a\n", 300));  // 900 characters as counted
  EXPECT_EQ(KeyCharacterCount(box.toPlainText()), 900);
  box.insertPlainText(Repeat("b", 200));
  EXPECT_EQ(KeyCharacterCount(box.toPlainText()), 1028);
  EXPECT_TRUE(box.toPlainText().endsWith(Repeat("b", 128)));
  QTest::keyClicks(&box, "zz");
  EXPECT_EQ(KeyCharacterCount(box.toPlainText()), 1028);
  EXPECT_FALSE(box.toPlainText().contains('z'));

  // Text inserted in the middle is cut, what was there stays.
  box.setPlainText(Repeat("x", 1020));
  QTextCursor c = box.textCursor();
  c.setPosition(10);
  box.setTextCursor(c);
  box.insertPlainText(Repeat("y", 20));
  EXPECT_EQ(box.toPlainText(), Repeat("x", 10) + Repeat("y", 8) + Repeat("x", 1010));

  // A line break does not fit in the last free character; a character
  // outside the basic plane counts once and is not split.
  box.setPlainText(Repeat("x", 1027));
  box.moveCursor(QTextCursor::End);
  box.insertPlainText("\n");
  EXPECT_EQ(box.toPlainText().size(), 1027);
  box.insertPlainText(QString::fromUtf8("😀😀"));
  EXPECT_EQ(box.toPlainText().size(), 1029);
  EXPECT_TRUE(box.toPlainText().endsWith(QString::fromUtf8("😀")));
}

TEST(KeyBox, TextComesWithCrLfLinesAndNoFinalBreakAdded) {
  KeyBox box;
  box.setPlainText(QString::fromUtf8("ab\nc"));
  EXPECT_EQ(box.CrLfText(), "ab\r\nc");
  box.setPlainText(QString::fromUtf8("密钥\n\n"));
  EXPECT_EQ(box.CrLfText(), "密钥\r\n\r\n");
  box.clear();
  EXPECT_EQ(box.CrLfText(), "");
}

TEST(KeyBox, DroppedFilesAreNotTakenAsKeyText) {
  KeyBox box;
  box.resize(200, 100);
  EXPECT_FALSE(box.acceptDrops());  // drops go to the window
  EXPECT_FALSE(box.viewport()->acceptDrops());

  // What a file manager drags: the file's URL and its path as text. Even
  // delivered to the box, the drop is refused and leaves no text.
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile("/home/user/secret.txt")});
  file.setText("/home/user/secret.txt");
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(box.viewport(), &enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(box.viewport(), &drop);
  EXPECT_EQ(box.toPlainText().toStdString(), "");

  // Nor does a copied file paste as text; copied text does.
  auto* copied_file = new QMimeData;
  copied_file->setUrls({QUrl::fromLocalFile("/home/user/secret.txt")});
  copied_file->setText("/home/user/secret.txt");
  QGuiApplication::clipboard()->setMimeData(copied_file);
  box.paste();
  EXPECT_EQ(box.toPlainText().toStdString(), "");
  QGuiApplication::clipboard()->setText("密钥");
  box.paste();
  EXPECT_EQ(box.toPlainText().toStdString(), "密钥");
}

TEST(Dialogs, FiltersShowEachLabelOnceAndEveryFileMatchesAll) {
  EXPECT_EQ(NameFiltersFor("全部文件(*.*)|*.*"), QStringList{QString::fromUtf8("全部文件(*.*) (*)")});
  EXPECT_EQ(NameFiltersFor("Docs|*.doc;*.txt"), QStringList{"Docs (*.doc *.txt)"});

  // What the dialog shows: the labels as written, once each; and the
  // chosen filter maps back to its place in the list.
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  PrepareFileDialog(dialog, {"jmz文件(*.jmz)|*.jmz|zak文件(*.zak)|*.zak|全部文件(*.*)|*.*", 3, "", "选择"}, false, 3, {});
  auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  QStringList shown;
  for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
  EXPECT_EQ(shown.join('|').toStdString(), "jmz文件(*.jmz)|zak文件(*.zak)|全部文件(*.*)");
  EXPECT_EQ(types->currentText().toStdString(), "全部文件(*.*)");
  EXPECT_EQ(FilterIndexOf(dialog.nameFilters(), dialog.selectedNameFilter()), 2);
  types->setCurrentIndex(0);
  EXPECT_EQ(FilterIndexOf(dialog.nameFilters(), dialog.selectedNameFilter()), 0);
}

TEST(Colours, QtColoursConvertBothWays) {
  EXPECT_EQ(FromColourValue(0xF0CAA6), QColor(0xA6, 0xCA, 0xF0));  // BBGGRR
  EXPECT_EQ(FromColourValue(0xFF000005), QColor(255, 255, 255));   // system colour: window background
  EXPECT_EQ(ToColourValue(QColor(0xA6, 0xCA, 0xF0, 0x80)), 0xF0CAA6u);
  EXPECT_EQ(ToColourValue(QColor::fromHsv(0, 255, 255)), 0x0000FFu);
}

}  // namespace
}  // namespace vesk::gui
