// The soft keyboard's search on the program path.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/window_logic.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(OnScreenKeyboard, FirstPreferredExecutableOnThePath) {
  TempDir a, b;
  WriteFile(a.File("onboard"), "not executable");
  WriteFile(a.File("kvkbd"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(a.File("kvkbd").c_str(), 0755), 0);
  EXPECT_EQ(WindowLogic::FindOnScreenKeyboard(a.path() + "::" + b.path()), a.File("kvkbd"));
  WriteFile(b.File("onboard"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(b.File("onboard").c_str(), 0755), 0);
  // A more preferred keyboard in a later folder wins.
  EXPECT_EQ(WindowLogic::FindOnScreenKeyboard(a.path() + ":" + b.path()), b.File("onboard"));
  EXPECT_EQ(WindowLogic::FindOnScreenKeyboard(""), std::nullopt);
  ASSERT_EQ(mkdir(b.File("florence").c_str(), 0755), 0);  // a folder is no program
  EXPECT_EQ(WindowLogic::FindOnScreenKeyboard(b.path()), b.File("onboard"));
}

}  // namespace
}  // namespace vesk
