// The window tests run on Qt's offscreen platform, with the settings and the
// runtime folder in a directory of their own, so that they need no display
// and never touch the user's settings, however they are started.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string root = (std::filesystem::temp_directory_path() / "vesk-gui-test-XXXXXX").string();
  if (mkdtemp(root.data()) == nullptr) return 1;
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", root.c_str(), 1);  // mode 0700 from mkdtemp

  int status;
  {
    QApplication app(argc, argv);
    // Closing a window in a test must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);
    status = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return status;
}
