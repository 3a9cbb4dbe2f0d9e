// The window without a mouse: the Menu key and Shift+F10 open the popup
// menu wherever the focus is, every item has a letter, Tab follows the
// layout with a frame around the focus, and Enter in a question that would
// destroy or replace a file answers No.
#include <set>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>

#include "gui/qt_dialog_provider.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

class Keyboard : public WindowTest {
 protected:
  void OpenActive() {
    Open();
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  }
};

TEST_F(Keyboard, TheMenuKeysOpenTheWindowsMenuAndEveryItemHasALetter) {
  OpenActive();
  const struct {
    const char* name;
    QKeyCombination keys;
  } presses[] = {{"Menu", QKeyCombination(Qt::Key_Menu)}, {"Shift+F10", QKeyCombination(Qt::SHIFT, Qt::Key_F10)}};
  for (QWidget* focus : {static_cast<QWidget*>(W().EncryptionKey), static_cast<QWidget*>(W().DecryptionKey),
                         static_cast<QWidget*>(W().EncryptButton), static_cast<QWidget*>(W().SoftKeyboardButton)}) {
    for (const auto& press : presses) {
      SCOPED_TRACE(focus->objectName().toStdString() + " " + press.name);
      focus->setFocus(Qt::TabFocusReason);
      QTest::keyClick(focus, press.keys.key(), press.keys.keyboardModifiers());
      EXPECT_EQ(QApplication::activePopupWidget(), W().PopupMenu);
      W().PopupMenu->hide();
    }
  }

  // Every item has a letter of its own; the letter chooses it.
  std::set<char> letters;
  for (QAction* item : W().PopupMenu->actions()) {
    if (item->isSeparator()) continue;
    const char letter = W().AcceleratorOf(item->objectName().toStdString());
    EXPECT_NE(letter, 0) << item->objectName().toStdString();
    EXPECT_TRUE(item->text().contains(QStringLiteral("(&") + QChar(letter) + ')')) << item->text().toStdString();
    EXPECT_TRUE(letters.insert(letter).second) << letter;
  }
  W().DecryptionKey->setFocus(Qt::TabFocusReason);
  QTest::keyClick(W().DecryptionKey, Qt::Key_Menu);
  QTest::keyClick(W().PopupMenu, Qt::Key_A);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.informations.empty(); }, 5000));
  EXPECT_EQ(dialogs.informations[0].second, "Vesk 文件加密");  // the About box
}

TEST_F(Keyboard, TabFollowsTheLayoutAndAFrameShowsTheFocus) {
  OpenActive();
  // Row by row, left to right; the greyed self-decrypt buttons are passed.
  const std::vector<QWidget*> order = {W().EncryptButton,      W().ResizeButton,  W().DecryptButton, W().EncryptionKey,
                                       W().DecryptionKey,      W().RatioItem(2),  W().KeyMasking,    W().SoftKeyboardButton,
                                       W().FormatItem(0),      W().CreateSelfDecryptingButton};
  QWidget* const mark = W().FocusMark();
  W().EncryptButton->setFocus(Qt::MouseFocusReason);
  EXPECT_FALSE(mark->isVisible());  // a click shows no frame
  for (std::size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focus, order[i]) << i << " " << (focus ? focus->metaObject()->className() + std::string(" ") + focus->objectName().toStdString() + " " + focus->property("text").toString().toStdString() : "none");
    EXPECT_TRUE(mark->isVisible());
    const QRect at(focus->mapTo(&W(), QPoint(0, 0)), focus->size());
    EXPECT_TRUE(mark->geometry().contains(at)) << i;
    EXPECT_FALSE(at.contains(mark->geometry())) << i;
  }
  EXPECT_TRUE(W().EncryptionKey->toPlainText().isEmpty());  // Tab went on, not into the key
  QTest::mouseClick(W().EncryptionKey->viewport(), Qt::LeftButton);
  EXPECT_FALSE(mark->isVisible());
}

// Enter answers the default button: No where Yes destroys or replaces a file.
TEST(QuestionDefaults, EnterKeepsTheFileWhereYesWouldDestroyIt) {
  QtDialogProvider provider;
  const struct {
    const char* name;
    std::function<bool()> ask;
    QMessageBox::StandardButton expected;
  } cases[] = {
      {"a question", [&] { return provider.Question(nullptr, "q", "c"); }, QMessageBox::Yes},
      {"a careful question", [&] { return provider.CarefulQuestion(nullptr, "q", "c"); }, QMessageBox::No},
      {"the replace question of a batch",
       [&] { return provider.ReplaceQuestion(nullptr, "q", "c") == WindowPort::ReplaceAnswer::kYes; },
       QMessageBox::No},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QMessageBox::StandardButton seen = QMessageBox::NoButton;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      poll.stop();
      seen = box->standardButton(box->defaultButton());
      QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start(10);
    EXPECT_EQ(c.ask(), c.expected == QMessageBox::Yes);
    EXPECT_EQ(seen, c.expected);
  }
}

}  // namespace
}  // namespace vesk::gui::testing
