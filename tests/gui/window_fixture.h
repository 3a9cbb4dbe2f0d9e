// A window with scripted dialogs and settings in a fresh settings file, and the
// helpers the window tests share.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/gui_session.h"
#include "gui/key_box.h"
#include "scripted_dialogs.h"
#include "settings/ini_store.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "threads/worker.h"

namespace vesk::gui::testing {

using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

class WindowTest : public ::testing::Test {
 protected:
  ~WindowTest() override { Close(); }

  // Creates and shows the window with `args` as its command line.
  void Open(const std::vector<std::string>& args = {}, const std::optional<WindowLogic::OwnFile>& own = std::nullopt) {
    Close();
    session = std::make_unique<GuiSession>(dialogs, &values);
    session->Start(args, own);
    session->Show();
  }
  void Close() { session.reset(); }

  MainWindow& W() { return session->Window(); }
  WindowLogic& Logic() { return session->Logic(); }

  void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

  // Waits until no command is busy and nothing runs any more.
  bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return QTest::qWaitFor(
        [&] {
          return Logic().Tag(Control::EncryptButton) == 0 && Logic().Tag(Control::DecryptButton) == 0 &&
                 RunningWorkers() == 0;
        },
        static_cast<int>(limit.count()));
  }

  void SetKey(KeyBox* box, const char* utf8) { box->setPlainText(QString::fromUtf8(utf8)); }

  std::optional<int32_t> StoredInteger(const char* name) {
    const settings::StoredInteger read = values.ReadInteger(name);
    if (!read.ok()) return std::nullopt;
    return read.value;
  }
  // Appends "name=text" lines to the file's [General] section as a person
  // editing it would.
  void WriteSettingsText(const std::string& lines) {
    std::string text = values.Exists() ? ReadFile(values.Path()) : "[General]\n";
    std::filesystem::create_directories(std::filesystem::path(values.Path()).parent_path());
    WriteFile(values.Path(), text + lines);
  }

  TempDir dir;
  TempDir config;
  settings::IniFileStore values{config.File("vesk/vesk.conf")};
  ScriptedDialogs dialogs;
  std::unique_ptr<GuiSession> session;
};

}  // namespace vesk::gui::testing
