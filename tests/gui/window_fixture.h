// A window with scripted dialogs and settings in a fresh registry, and the
// helpers the window tests share.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/gui_session.h"
#include "gui/key_box.h"
#include "platform/registry.h"
#include "scripted_dialogs.h"
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
  void Open(const std::vector<std::string>& args = {}, const std::optional<Tysjm::OwnFile>& own = std::nullopt) {
    Close();
    session = std::make_unique<GuiSession>(dialogs, &registry);
    session->Start(args, own);
    session->Show();
  }
  void Close() { session.reset(); }

  MainWindow& W() { return session->Window(); }
  Tysjm& Logic() { return session->Logic(); }

  void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

  // Waits until no command is busy and nothing runs any more.
  bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return QTest::qWaitFor(
        [&] {
          return Logic().Tag(Control::Button1) == 0 && Logic().Tag(Control::Button2) == 0 && !Logic().ZnZip1.Busy() &&
                 RunningWorkers() == 0;
        },
        static_cast<int>(limit.count()));
  }

  void SetKey(KeyBox* box, const char* utf8) { box->setPlainText(QString::fromUtf8(utf8)); }

  std::optional<int32_t> StoredInteger(const char* name) {
    auto key = registry.OpenKey(RegistryRoot::CurrentUser, settings::kSettingsKey, false);
    if (!key) return std::nullopt;
    auto read = key->ReadInteger(name);
    if (!read.ok()) return std::nullopt;
    return read.value;
  }
  RegistryKey SettingsKey() { return *registry.OpenKey(RegistryRoot::CurrentUser, settings::kSettingsKey, true); }

  TempDir dir;
  TempDir config;
  Registry registry{config.File("vesk")};
  ScriptedDialogs dialogs;
  std::unique_ptr<GuiSession> session;
};

}  // namespace vesk::gui::testing
