// What the window shows at a glance, on Qt's offscreen platform: the status
// bar's panels, a cancel question that closes when its run ends, titles as
// given, and the file dialogs' columns, language and remembered size.
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include "gui/application.h"
#include "gui/file_dialog_view.h"
#include "gui/qt_dialog_provider.h"
#include "gui/status_bar.h"
#include "platform/file_io.h"
#include "settings/file_dialog_size.h"
#include "settings/memory_store.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using vesk::testing::RandomBytes;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// What became of a modal box or dialog watched for with WhenShown.
struct Watch {
  bool seen = false;    // it came up and was checked
  bool forced = false;  // it was still open after 20 seconds and was closed
};

// Runs `check` once on the first modal box or dialog of type Dialog that
// comes up (the call that opens it comes next). One still open 20 seconds
// later is closed, so that a failing test does not hang.
template <typename Dialog>
void WhenShown(std::function<void(Dialog&)> check, Watch& watch) {
  watch = Watch{};
  struct State {
    QElapsedTimer started;
    QPointer<QWidget> shown;
    bool checked = false;
  };
  auto state = std::make_shared<State>();
  state->started.start();
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, check, &watch, state] {
    if (!state->checked) {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      if (dialog != nullptr && dialog->isVisible()) {
        state->checked = true;
        state->shown = dialog;
        watch.seen = true;
        check(*dialog);
        return;
      }
    } else if (state->shown.isNull() || !state->shown->isVisible()) {
      poll->deleteLater();
      return;
    }
    if (state->started.elapsed() > 20000) {
      poll->deleteLater();
      QWidget* open = state->checked ? state->shown.data() : QApplication::activeModalWidget();
      if (open != nullptr) {
        watch.forced = true;
        open->close();
      }
    }
  });
  poll->start(10);
}

// ---- The status bar ------------------------------------------------------------------

class StatusPanels : public WindowTest {};

TEST_F(StatusPanels, ATwoLineMessageShowsOnOneLineElidedInTheMiddleWithTheWholeAsTooltip) {
  Open();
  QLabel* panel = W().StatusLine->Text;
  std::string folder = "/home/用户";
  for (int i = 0; i < 12; ++i) folder += "/很长的文件夹名称" + std::to_string(i);
  const std::string text = "无法打开网页，请用浏览器打开网页文件：\r\n" + folder + "/Help.htm";
  session->Port().SetStatusText(text);

  const QString shown = panel->text();
  EXPECT_FALSE(shown.contains('\n'));
  EXPECT_FALSE(shown.contains('\r'));
  EXPECT_TRUE(shown.startsWith(QString::fromUtf8("无法打开网页"))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("Help.htm")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();  // the middle left out
  EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width());
  EXPECT_LE(panel->geometry().right(), W().StatusLine->width());  // the panel itself is not cut
  EXPECT_EQ(panel->toolTip(), Q("无法打开网页，请用浏览器打开网页文件：\n" + folder + "/Help.htm"));
  EXPECT_EQ(W().StatusText(), text);  // the whole text, for the double-click box

  // Two short lines fit: joined with a space, the lines as tooltip.
  session->Port().SetStatusText("无法打开网页：\r\n/a.htm");
  EXPECT_EQ(panel->text(), QString::fromUtf8("无法打开网页： /a.htm"));
  EXPECT_EQ(panel->toolTip(), QString::fromUtf8("无法打开网页：\n/a.htm"));

  // A line that fits shows whole and is its own tooltip too, never an older
  // message; the file a run reads is the icon panel's hint.
  Logic().SetHintText(Hint::Source, "进行解密的文件：/a/b.jmz");
  session->Port().SetStatusText("解密文件 ... 已完成。");
  EXPECT_EQ(panel->text(), QString::fromUtf8("解密文件 ... 已完成。"));
  EXPECT_EQ(panel->toolTip(), panel->text());
  EXPECT_TRUE(W().StatusLine->toolTip().isEmpty());
  EXPECT_EQ(W().StatusLine->Glyph->toolTip(), QString::fromUtf8("进行解密的文件：/a/b.jmz"));

  // Empty lines are left out, whatever ends the lines.
  EXPECT_EQ(StatusBar::OneLine(QString::fromUtf8("a\r\n\r\nb\nc\r")), QString::fromUtf8("a b c"));
}

TEST_F(StatusPanels, PanelZeroShowsTheIconWhole) {
  Open();
  QLabel* glyph = W().StatusLine->Glyph;
  EXPECT_TRUE(glyph->text().isEmpty());
  const QPixmap icon = glyph->pixmap();
  ASSERT_FALSE(icon.isNull());
  EXPECT_LE(icon.width(), glyph->contentsRect().width());
  EXPECT_LE(icon.height(), glyph->contentsRect().height());
  EXPECT_GE(icon.width(), 8);
}

// ---- The cancel question and the end of its run ----------------------------------------

class CancelQuestion : public WindowTest {};

TEST_F(CancelQuestion, ClosesWhenTheRunEndsAndTheRealOutcomeShows) {
  Open();
  const std::string source = dir.File("big.bin");
  WriteFile(source, RandomBytes(32 << 20, 1));
  SetKey(W().EncryptionKey, "k");
  W().RatioItem(0)->click();
  dialogs.open_answers = {source};
  dialogs.save_answers = {dir.File("big.jmz")};
  dialogs.question_answers = {true};
  // The question stays open (the window's events go on, as in a modal
  // box) until something closes it.
  dialogs.on_question = [this](const std::string&) {
    static_cast<void>(QTest::qWaitFor([this] { return dialogs.question_closed; }, 30000));
  };
  bool clicked = false;
  QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [&](int value) {
    if (value <= 0 || clicked) return;
    clicked = true;
    // A click of its own, after the worker's bar move has been shown.
    QTimer::singleShot(0, W().EncryptButton, [this] { Click(W().EncryptButton); });
  });
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
  ASSERT_TRUE(clicked);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, "真的要取消加密：“" + source + "”吗?");
  EXPECT_EQ(dialogs.questions_closed, 1);
  EXPECT_EQ(W().StatusText(), "加密文件 ... 已完成。 — " + dir.File("big.jmz"));
  EXPECT_EQ(W().EncryptButton->text().toStdString(), "加密文件");
  EXPECT_TRUE(W().EncryptButton->isEnabled());
  EXPECT_EQ(FileSizeOf(dir.File("big.jmz")), 33554485);
  EXPECT_TRUE(dialogs.all_on_gui_thread);
}

TEST(RealQuestion, ClosingItAnswersNo) {
  QtDialogProvider dialogs;
  Watch watch;
  QString title;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    title = box.windowTitle();
    dialogs.CloseQuestion();
  }, watch);
  EXPECT_FALSE(dialogs.Question(nullptr, "真的要取消加密：“a.txt”吗?", "取消加密"));
  EXPECT_TRUE(watch.seen);
  EXPECT_FALSE(watch.forced);
  EXPECT_EQ(title, QString::fromUtf8("取消加密"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // Nothing open: nothing happens, and the next question is not closed in
  // advance (Yes is clicked on it).
  dialogs.CloseQuestion();
  WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); }, watch);
  EXPECT_TRUE(dialogs.Question(nullptr, "q", "c"));
  EXPECT_TRUE(watch.seen);
  EXPECT_FALSE(watch.forced);
}

// ---- Titles -------------------------------------------------------------------------------

TEST(Titles, TitlesShowOnceAndWhole) {
  SetUpApplication(*qApp);
  // Qt appends a display name, when one is set, to every title; unset, it
  // is the application's name.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QString("vesk"));
  EXPECT_EQ(QLocale().language(), QLocale::Chinese);  // for the file dialogs
  QLocale::setDefault(QLocale::system());

  // A box is as wide as its title bar needs: the title, the icon and three
  // buttons.
  QtDialogProvider dialogs;
  const QString caption = QString::fromUtf8(WindowLogic::kMessageCaption.c_str());
  Watch watch;
  int width = 0, title = 0;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), caption);
    width = box.width();
    QFont bold = box.font();
    bold.setBold(true);
    title = QFontMetrics(bold).horizontalAdvance(caption);
    box.accept();
  }, watch);
  dialogs.Message(nullptr, "加密文件已取消。", caption.toStdString());
  ASSERT_TRUE(watch.seen);
  EXPECT_GE(width, title + 100);
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    width = box.width();
    box.button(QMessageBox::No)->click();
  }, watch);
  EXPECT_FALSE(dialogs.Question(nullptr, "?", caption.toStdString()));
  EXPECT_GE(width, title + 100);
}

// ---- File dialogs ---------------------------------------------------------------------------

class FileDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    // Chinese as the program's default language, as SetUpApplication makes
    // it (file types follow it); Qt's own model writes sizes and dates in
    // the system's language, which LANG gives (C.UTF-8 here).
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    big_ = dir_.File("电影.mkv");
    const int fd = ::open(big_.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 192 << 20), 0);  // sparse
    ::close(fd);
    // 2024-12-08 13:35:11 local time.
    const qint64 when = QDateTime(QDate(2024, 12, 8), QTime(13, 35, 11)).toSecsSinceEpoch();
    const struct timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, big_.c_str(), times, 0), 0);
    WriteFile(dir_.File("note.txt"), std::string(1023, 'n'));
    std::filesystem::create_directory(dir_.File("folder"));
  }

  TempDir dir_;
  std::string big_;
};

TEST_F(FileDialogs, SizesAndDatesAreWrittenTheChineseWay) {
  QFileSystemModel files;
  files.setRootPath(Q(dir_.path()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return files.rowCount(files.index(Q(dir_.path()))) == 3; }, 10000));
  LocalisedFileColumns columns;
  columns.setSourceModel(&files);
  const auto shown = [&](const std::string& path, int column) {
    return columns.mapFromSource(files.index(Q(path), column)).data().toString().toStdString();
  };
  EXPECT_EQ(shown(big_, LocalisedFileColumns::kSizeColumn), "192.00 MiB");
  EXPECT_EQ(shown(big_, LocalisedFileColumns::kDateColumn), "2024/12/8 13:35");
  EXPECT_EQ(shown(dir_.File("note.txt"), LocalisedFileColumns::kSizeColumn), "1,023 字节");
  EXPECT_EQ(shown(dir_.File("folder"), LocalisedFileColumns::kSizeColumn), "");
  EXPECT_EQ(shown(dir_.File("folder"), LocalisedFileColumns::kTypeColumn), "文件夹");
  EXPECT_EQ(shown(dir_.File("note.txt"), LocalisedFileColumns::kTypeColumn), "纯文本文档");
  EXPECT_EQ(shown(big_, LocalisedFileColumns::kNameColumn), "电影.mkv");
}

TEST_F(FileDialogs, TheColumnsFitWhatTheyShow) {
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(Q(dir_.path()));
  FileDialogShaper shaper(dialog, std::nullopt);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  ASSERT_TRUE(shaper.Shaped());
  ASSERT_NE(dynamic_cast<LocalisedFileColumns*>(dialog.proxyModel()), nullptr);
  auto* view = dialog.findChild<QTreeView*>("treeView");
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) == 3; }, 10000));
  const QFontMetrics metrics = view->fontMetrics();
  for (int row = 0; row < 3; ++row) {
    for (int column = 1; column <= 3; ++column) {
      const QString text = view->model()->index(row, column, view->rootIndex()).data().toString();
      EXPECT_LT(metrics.horizontalAdvance(text), view->header()->sectionSize(column)) << text.toStdString();
    }
  }
  const QSize available = dialog.screen()->availableGeometry().size();
  EXPECT_EQ(dialog.size(), FileDialogShaper::FittingSize(dialog).boundedTo(available));
  dialog.close();
}

TEST_F(FileDialogs, TheDialogsOpenAtTheSizeTheyWereLeftAt) {
  settings::MemoryStore values;
  QtDialogProvider dialogs;
  dialogs.UseSettingsStore(values);
  const FileDialogSpec choose{"全部文件(*.*)|*.*", 1, "", "选择要加密的文件进行加密"};
  Watch watch;
  QSize first;
  QString title;
  WhenShown<QFileDialog>([&](QFileDialog& d) {
    first = d.size();
    title = d.windowTitle();
    d.resize(700, 480);  // the user's choice
    d.reject();
  }, watch);
  EXPECT_FALSE(dialogs.OpenFile(nullptr, choose).has_value());
  ASSERT_TRUE(watch.seen);
  EXPECT_EQ(title, QString::fromUtf8("选择要加密的文件进行加密"));
  EXPECT_NE(first, QSize(700, 480));
  EXPECT_EQ(settings::StoredFileDialogSize(values), (settings::DialogSize{700, 480}));

  // The save dialog opens at it too; left as it was, nothing new is stored.
  QSize second;
  const auto measure = [&](QFileDialog& d) {
    second = d.size();
    d.reject();
  };
  WhenShown<QFileDialog>(measure, watch);
  EXPECT_FALSE(dialogs.SaveFile(nullptr, {"全部文件(*.*)|*.*", 1, dir_.File("x"), "解密后的文件保存为"}).has_value());
  ASSERT_TRUE(watch.seen);
  EXPECT_EQ(second, QSize(700, 480));
  values.WriteInteger(settings::kFileDialogWidth, 650);
  WhenShown<QFileDialog>(measure, watch);
  EXPECT_FALSE(dialogs.OpenFile(nullptr, choose).has_value());
  ASSERT_TRUE(watch.seen);
  EXPECT_EQ(second, QSize(650, 480));
  EXPECT_EQ(settings::StoredFileDialogSize(values), (settings::DialogSize{650, 480}));
}

}  // namespace
}  // namespace vesk::gui::testing
