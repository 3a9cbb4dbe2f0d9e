#include "settings/settings.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/ini_store.h"
#include "settings/language_setting.h"
#include "settings/memory_store.h"
#include "support/temp_dir.h"

namespace vesk::settings {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

// The rules of the settings, through the settings file the window uses.
class Settings : public ::testing::Test {
 protected:
  StoredInteger Stored(const char* name) { return values.ReadInteger(name); }
  std::string FileText() { return ReadFile(values.Path()); }
  // Puts a value the way a person editing the file would.
  void WriteText(const char* name, const char* text) {
    std::filesystem::create_directories(dir.File("config/vesk"));
    std::string old = values.Exists() ? FileText() : "[General]\n";
    WriteFile(values.Path(), old + name + "=" + text + "\n");
  }

  TempDir dir;
  IniFileStore values{dir.File("config/vesk/vesk.conf")};
  int beeps = 0;
  SettingsStore store{values, [this] { ++beeps; }};
  WindowSettings w;
};

TEST_F(Settings, WithoutTheFileNothingIsReadOrCreated) {
  w.WindowColour = 0x123456;  // stands for whatever the window shows
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 2);
  EXPECT_EQ(w.Level, ZipLevel::Default);
  EXPECT_EQ(w.WindowColour, 0x123456u);
  EXPECT_EQ(w.Size.SizeState, 0);
  EXPECT_EQ(w.Size.Height, 448);
  EXPECT_FALSE(values.Exists());

  // The first change creates the file.
  w.RatioIndex = 3;
  store.RatioSelected(w);
  EXPECT_EQ(w.Level, ZipLevel::Max);
  EXPECT_EQ(Stored("zzll").value, 3);
  EXPECT_EQ(beeps, 0);
}

TEST_F(Settings, RatioRestoresTheItemAndStoresOnlyAChange) {
  values.WriteInteger("zzll", 0);
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 0);
  EXPECT_EQ(w.Level, ZipLevel::None);
  EXPECT_EQ(Stored("zzll").value, 0);

  const struct {
    int32_t stored;
    int index;
  } clamps[] = {{-5, -1}, {9, 3}, {1, 1}};
  for (const auto& c : clamps) {
    WindowSettings fresh;
    values.WriteInteger("zzll", c.stored);
    store.LoadSettings(fresh);
    EXPECT_EQ(fresh.RatioIndex, c.index);
    EXPECT_EQ(Stored("zzll").value, c.index);  // written back as selected
  }

  // No item selected leaves the level as it was.
  WindowSettings none;
  none.Level = ZipLevel::Fastest;
  values.WriteInteger("zzll", -1);
  store.LoadSettings(none);
  EXPECT_EQ(none.RatioIndex, -1);
  EXPECT_EQ(none.Level, ZipLevel::Fastest);
}

TEST_F(Settings, RatioThatIsNoIntegerSelectsItemTwoAndWritesNothing) {
  WriteText("zzll", "zero");
  const std::string before = FileText();
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 2);
  EXPECT_EQ(FileText(), before);
  EXPECT_EQ(Stored("zzll").status, ReadStatus::Unreadable);

  // From another item, the fallback to item 2 is a change and is stored.
  WindowSettings other;
  other.RatioIndex = 0;
  store.LoadSettings(other);
  EXPECT_EQ(other.RatioIndex, 2);
  EXPECT_EQ(other.Level, ZipLevel::Default);
  EXPECT_EQ(Stored("zzll").value, 2);
}

TEST_F(Settings, ColoursAreAppliedKeptOrReset) {
  w.WindowColour = 1;
  w.BrandColour = 2;
  values.WriteInteger("zzll", 2);  // the file exists, both colours absent
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 1u);
  EXPECT_EQ(w.BrandColour, 2u);

  values.WriteInteger("ctbjc", 255);
  values.WriteInteger("vkys", static_cast<int32_t>(0xFF000008u));
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 255u);
  EXPECT_EQ(w.BrandColour, 0xFF000008u);

  WriteText("ctbjc", "red");
  WriteText("vkys", "0xFF0000");
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 0xF0CAA6u);
  EXPECT_EQ(w.BrandColour, 0xFFFF00u);
}

TEST_F(Settings, MaskingIsCheckedOnlyByOne) {
  w.EncryptionKey.FontColour = 0x0000FF;
  w.DecryptionKey.FontColour = 0x00FF00;
  values.WriteInteger("pbmy", 1);
  store.LoadSettings(w);
  EXPECT_TRUE(w.KeysMasked);
  EXPECT_EQ(w.EncryptionKey.Background, 0x0000FFu);
  EXPECT_EQ(w.DecryptionKey.Background, 0x00FF00u);

  for (int32_t stored : {2, 0, -1}) {
    WindowSettings plain;
    values.WriteInteger("pbmy", stored);
    const std::string before = FileText();
    store.LoadSettings(plain);
    EXPECT_FALSE(plain.KeysMasked);
    EXPECT_EQ(FileText(), before);  // unchanged check state: nothing written
  }

  // Unmasking a masked window, here from a value that is no integer.
  WriteText("pbmy", "1.0");
  store.LoadSettings(w);
  EXPECT_FALSE(w.KeysMasked);
  EXPECT_EQ(w.EncryptionKey.Background, 0xFFFFFFu);
  EXPECT_EQ(w.EncryptionKey.FontColour, 0x000000u);
  EXPECT_EQ(w.DecryptionKey.FontColour, 0x000000u);
  EXPECT_EQ(Stored("pbmy").value, 0);

  // The command-line switch /pbmy masks and stores.
  store.SetKeysMasked(w, true);
  EXPECT_EQ(Stored("pbmy").value, 1);
}

TEST_F(Settings, SizeStateRestoresWithOneUnstoredStep) {
  const struct {
    std::optional<int32_t> stored;
    int state, height;
  } cases[] = {{0, 0, 448}, {1, 1, 388}, {2, 4, 315}, {3, 4, 315}, {4, 4, 315},
               {5, 5, 388}, {6, 0, 448}, {99, 0, 448}, {-4, 0, 448}, {std::nullopt, 0, 448}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored ? *c.stored : -1000);
    if (c.stored) {
      values.WriteInteger("ctsf", *c.stored);
    } else {
      values.Remove();
      values.WriteInteger("zzll", 2);  // the file is there, the size is not
    }
    WindowSettings fresh;
    store.LoadSettings(fresh);
    EXPECT_EQ(fresh.Size.SizeState, c.state);
    EXPECT_EQ(fresh.Size.Height, c.height);
    EXPECT_EQ(fresh.Size.Caption, CaptionForSizeState(c.state));
    // The step taken at start-up writes nothing.
    EXPECT_EQ(Stored("ctsf").ok(), c.stored.has_value());
    if (c.stored) {
      EXPECT_EQ(Stored("ctsf").value, *c.stored);
    }
  }
  WriteText("ctsf", "3 4");
  WindowSettings wrong_type;
  wrong_type.Size.SizeState = 2;
  store.LoadSettings(wrong_type);
  EXPECT_EQ(wrong_type.Size.SizeState, 0);
}

TEST_F(Settings, EachUserClickOnTheSizeButtonIsStored) {
  for (int expected : {1, 2, 3, 4, 5, 0}) {
    store.ResizeClicked(w, /*has_sender=*/true);
    EXPECT_EQ(w.Size.SizeState, expected);
    EXPECT_EQ(Stored("ctsf").value, expected);
  }
  EXPECT_EQ(w.Size.Height, 448);
  store.ResizeClicked(w, /*has_sender=*/false);
  EXPECT_EQ(Stored("ctsf").value, 0);
}

TEST_F(Settings, StoreReplacesTextsAndBeepsOnFailure) {
  WriteText("ctbjc", "old");
  WriteText("other", "kept");
  EXPECT_TRUE(store.StoreSetting("ctbjc", 0x00FF00));
  EXPECT_EQ(Stored("ctbjc").value, 0x00FF00);
  EXPECT_NE(FileText().find("other=kept"), std::string::npos);
  EXPECT_EQ(beeps, 0);

  // A store whose folder cannot exist: every write fails with a beep, the
  // load finds no file and keeps the window as it is.
  WriteFile(dir.File("blocker"), "");
  IniFileStore broken(dir.File("blocker") + "/vesk/vesk.conf");
  SettingsStore failing(broken, [this] { ++beeps; });
  EXPECT_FALSE(failing.StoreSetting("zzll", 1));
  EXPECT_EQ(beeps, 1);
  WindowSettings fresh;
  failing.LoadSettings(fresh);
  EXPECT_EQ(fresh.RatioIndex, 2);
  fresh.RatioIndex = 0;
  failing.RatioSelected(fresh);
  EXPECT_EQ(fresh.Level, ZipLevel::None);  // applied even though not stored
  EXPECT_EQ(beeps, 2);
}

// The file itself: plain integers a person can read and edit, whole-file
// replacement on every write, and nothing else touched.
TEST(SettingsFile, IntegersAsTextReadBackAndNoIntegerIsUnreadable) {
  TempDir dir;
  IniFileStore values(dir.File("vesk/vesk.conf"));
  values.WriteInteger("zzll", 3);
  values.WriteInteger("vkys", static_cast<int32_t>(0xFF000008u));
  const std::string text = ReadFile(values.Path());
  EXPECT_NE(text.find("[General]"), std::string::npos);
  EXPECT_NE(text.find("zzll=3\n"), std::string::npos);
  EXPECT_NE(text.find("vkys=-16777208\n"), std::string::npos);
  EXPECT_EQ(values.ReadInteger("vkys").value, static_cast<int32_t>(0xFF000008u));
  EXPECT_EQ(values.ReadInteger("ctsf").status, ReadStatus::Absent);

  // Written by hand: a 32-bit value written unsigned reads as the same
  // value; anything that is not a decimal integer is unreadable.
  WriteFile(values.Path(),
            "[General]\nctbjc=4278190088\nzzll= 1 \npbmy=-0\nctsf=2147483648000\nvkys=12abc\nother=1, 2\n");
  EXPECT_EQ(values.ReadInteger("ctbjc").value, static_cast<int32_t>(0xFF000008u));
  EXPECT_EQ(values.ReadInteger("zzll").value, 1);
  EXPECT_EQ(values.ReadInteger("pbmy").value, 0);
  EXPECT_EQ(values.ReadInteger("ctsf").status, ReadStatus::Unreadable);
  EXPECT_EQ(values.ReadInteger("vkys").status, ReadStatus::Unreadable);
  EXPECT_EQ(values.ReadInteger("other").status, ReadStatus::Unreadable);
  for (const char* text : {"", "+", "-", "1e3", "0x10", "٣", "-2147483649", "4294967296"}) {
    EXPECT_FALSE(ParseStoredInteger(text)) << text;
  }
  EXPECT_EQ(ParseStoredInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseStoredInteger("+7"), 7);
}

TEST(SettingsFile, EachWriteReplacesTheWholeFileAndLeavesNothingBeside) {
  TempDir dir;
  IniFileStore values(dir.File("vesk/vesk.conf"));
  values.WriteInteger("zzll", 1);
  struct stat before {};
  ASSERT_EQ(::stat(values.Path().c_str(), &before), 0);
  // Whoever still reads the old file keeps reading it whole.
  std::ifstream reader(values.Path());
  values.WriteInteger("zzll", 2);
  struct stat after {};
  ASSERT_EQ(::stat(values.Path().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed into place
  std::string old_text((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_NE(old_text.find("zzll=1"), std::string::npos);
  EXPECT_EQ(values.ReadInteger("zzll").value, 2);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("vesk"))) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"vesk.conf"});
}

TEST(SettingsFile, RemovingTakesTheFileAndItsEmptyFolderWithoutReadingIt) {
  TempDir dir;
  IniFileStore values(dir.File("vesk/vesk.conf"));
  values.Remove();  // nothing there: no failure
  values.WriteInteger("zzll", 1);
  // Not even a file QSettings could not parse stops the removal.
  WriteFile(values.Path(), std::string("\0\xff[[[", 6));
  values.Remove();
  EXPECT_FALSE(values.Exists());
  EXPECT_FALSE(std::filesystem::exists(dir.File("vesk")));

  // A folder holding other files stays.
  values.WriteInteger("zzll", 1);
  WriteFile(dir.File("vesk/notes"), "mine");
  RemoveSettingsFile(values.Path());
  EXPECT_FALSE(values.Exists());
  EXPECT_EQ(ReadFile(dir.File("vesk/notes")), "mine");

  // The next start finds no file and uses the defaults.
  SettingsStore store(values);
  WindowSettings w;
  w.WindowColour = 0x123456;
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 0x123456u);
  EXPECT_EQ(w.RatioIndex, 2);
  EXPECT_FALSE(values.Exists());
}

TEST(SettingsFile, PathFollowsTheConfigFolder) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config/", 1);
  EXPECT_EQ(SettingsFilePath(), "/somewhere/config/vesk/vesk.conf");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as the conventions say
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    EXPECT_EQ(SettingsFilePath(), std::string(home) + "/.config/vesk/vesk.conf");
  }
  if (saved != nullptr) {
    setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace vesk::settings

// ---- The window's language ------------------------------------------------------

namespace vesk::settings {
namespace {

TEST(WindowLanguageSetting, AStoredChoiceOverridesTheDesktopAndAnythingElseFollowsIt) {
  struct Case {
    const char* stored;  // nullptr: nothing stored
    Language desktop;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, Language::kEnglish, Language::kEnglish}, {nullptr, Language::kChinese, Language::kChinese},
      {"1", Language::kEnglish, Language::kChinese},     {"2", Language::kChinese, Language::kEnglish},
      {"0", Language::kEnglish, Language::kEnglish},     {"3", Language::kChinese, Language::kChinese},
      {"en", Language::kChinese, Language::kChinese},
  };
  for (const Case& c : cases) {
    MemoryStore store;
    if (c.stored) store.WriteText(kLanguage, c.stored);
    EXPECT_EQ(WindowLanguage(store, c.desktop), c.expected) << (c.stored ? c.stored : "-");
  }
  MemoryStore store;
  StoreWindowLanguage(store, Language::kEnglish);
  EXPECT_EQ(WindowLanguage(store, Language::kChinese), Language::kEnglish);
  StoreWindowLanguage(store, Language::kChinese);
  EXPECT_EQ(WindowLanguage(store, Language::kEnglish), Language::kChinese);
}

}  // namespace
}  // namespace vesk::settings
