#include "settings/settings.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vesk::settings {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

class Settings : public ::testing::Test {
 protected:
  RegistryKey Key() { return *registry.OpenKey(RegistryRoot::CurrentUser, kSettingsKey, true); }
  RegistryRead<int32_t> Stored(const char* name) { return Key().ReadInteger(name); }
  std::string FileText() { return ReadFile(registry.FilePath(RegistryRoot::CurrentUser)); }

  TempDir dir;
  Registry registry{dir.File("config")};
  int beeps = 0;
  SettingsStore store{registry, [this] { ++beeps; }};
  WindowSettings w;
};

TEST_F(Settings, WithoutTheKeyNothingIsReadOrCreated) {
  w.WindowColour = 0x123456;  // stands for whatever the window shows
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 2);
  EXPECT_EQ(w.Level, ZipLevel::Default);
  EXPECT_EQ(w.WindowColour, 0x123456u);
  EXPECT_EQ(w.Size.SizeState, 0);
  EXPECT_EQ(w.Size.Height, 448);
  EXPECT_FALSE(registry.KeyExists(RegistryRoot::CurrentUser, kSettingsKey));

  // The first change creates the key.
  w.RatioIndex = 3;
  store.rgyslClick(w);
  EXPECT_EQ(w.Level, ZipLevel::Max);
  EXPECT_EQ(Stored(kRatio).value, 3);
  EXPECT_EQ(beeps, 0);
}

TEST_F(Settings, RatioRestoresTheItemAndStoresOnlyAChange) {
  Key().WriteInteger(kRatio, 0);
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 0);
  EXPECT_EQ(w.Level, ZipLevel::None);
  EXPECT_EQ(Stored(kRatio).value, 0);

  const struct {
    int32_t stored;
    int index;
  } clamps[] = {{-5, -1}, {9, 3}, {1, 1}};
  for (const auto& c : clamps) {
    WindowSettings fresh;
    Key().WriteInteger(kRatio, c.stored);
    store.LoadSettings(fresh);
    EXPECT_EQ(fresh.RatioIndex, c.index);
    EXPECT_EQ(Stored(kRatio).value, c.index);  // written back as selected
  }

  // No item selected leaves the level as it was.
  WindowSettings none;
  none.Level = ZipLevel::Fastest;
  Key().WriteInteger(kRatio, -1);
  store.LoadSettings(none);
  EXPECT_EQ(none.RatioIndex, -1);
  EXPECT_EQ(none.Level, ZipLevel::Fastest);
}

TEST_F(Settings, RatioOfTheWrongTypeSelectsItemTwoAndWritesNothing) {
  Key().WriteString(kRatio, "0");
  const std::string before = FileText();
  store.LoadSettings(w);
  EXPECT_EQ(w.RatioIndex, 2);
  EXPECT_EQ(FileText(), before);
  EXPECT_EQ(Stored(kRatio).status, ReadStatus::WrongType);

  // From another item, the fallback to item 2 is a change and is stored.
  WindowSettings other;
  other.RatioIndex = 0;
  store.LoadSettings(other);
  EXPECT_EQ(other.RatioIndex, 2);
  EXPECT_EQ(other.Level, ZipLevel::Default);
  EXPECT_EQ(Stored(kRatio).value, 2);
}

TEST_F(Settings, ColoursAreAppliedKeptOrReset) {
  w.WindowColour = 1;
  w.BrandColour = 2;
  Key();  // the key exists, both values absent
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 1u);
  EXPECT_EQ(w.BrandColour, 2u);

  Key().WriteInteger(kWindowColour, 255);
  Key().WriteInteger(kBrandColour, static_cast<int32_t>(0xFF000008u));
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, 255u);
  EXPECT_EQ(w.BrandColour, 0xFF000008u);

  Key().WriteString(kWindowColour, "red");
  Key().WriteString(kBrandColour, "blue");
  store.LoadSettings(w);
  EXPECT_EQ(w.WindowColour, kSkyBlue);
  EXPECT_EQ(w.BrandColour, kAqua);
}

TEST_F(Settings, MaskingIsCheckedOnlyByOne) {
  w.jm1.FontColour = 0x0000FF;
  w.jm2.FontColour = 0x00FF00;
  Key().WriteInteger(kKeyMasking, 1);
  store.LoadSettings(w);
  EXPECT_TRUE(w.KeysMasked);
  EXPECT_EQ(w.jm1.Background, 0x0000FFu);
  EXPECT_EQ(w.jm2.Background, 0x00FF00u);

  for (int32_t stored : {2, 0, -1}) {
    WindowSettings plain;
    Key().WriteInteger(kKeyMasking, stored);
    const std::string before = FileText();
    store.LoadSettings(plain);
    EXPECT_FALSE(plain.KeysMasked);
    EXPECT_EQ(FileText(), before);  // unchanged check state: nothing written
  }

  // Unmasking a masked window, here from a value of the wrong type.
  Key().WriteString(kKeyMasking, "1");
  store.LoadSettings(w);
  EXPECT_FALSE(w.KeysMasked);
  EXPECT_EQ(w.jm1.Background, kWhite);
  EXPECT_EQ(w.jm1.FontColour, kBlack);
  EXPECT_EQ(w.jm2.FontColour, kBlack);
  EXPECT_EQ(Stored(kKeyMasking).value, 0);

  // The command-line switch /pbmy masks and stores.
  store.SetKeysMasked(w, true);
  EXPECT_EQ(Stored(kKeyMasking).value, 1);
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
      Key().WriteInteger(kSizeState, *c.stored);
    } else {
      Key().DeleteValue(kSizeState);
    }
    WindowSettings fresh;
    store.LoadSettings(fresh);
    EXPECT_EQ(fresh.Size.SizeState, c.state);
    EXPECT_EQ(fresh.Size.Height, c.height);
    EXPECT_EQ(fresh.Size.Caption, CaptionForSizeState(c.state));
    // The step taken at start-up writes nothing.
    EXPECT_EQ(Key().ReadInteger(kSizeState).ok(), c.stored.has_value());
    if (c.stored) {
      EXPECT_EQ(Stored(kSizeState).value, *c.stored);
    }
  }
  Key().WriteString(kSizeState, "3");
  WindowSettings wrong_type;
  wrong_type.Size.SizeState = 2;
  store.LoadSettings(wrong_type);
  EXPECT_EQ(wrong_type.Size.SizeState, 0);
}

TEST_F(Settings, EachUserClickOnTheSizeButtonIsStored) {
  for (int expected : {1, 2, 3, 4, 5, 0}) {
    store.sfClick(w, /*has_sender=*/true);
    EXPECT_EQ(w.Size.SizeState, expected);
    EXPECT_EQ(Stored(kSizeState).value, expected);
  }
  EXPECT_EQ(w.Size.Height, 448);
  store.sfClick(w, /*has_sender=*/false);
  EXPECT_EQ(Stored(kSizeState).value, 0);
}

TEST_F(Settings, StoreReplacesOtherTypesAndBeepsOnFailure) {
  Key().WriteString(kWindowColour, "old");
  EXPECT_TRUE(store.StoreSetting(kWindowColour, 0x00FF00));
  EXPECT_EQ(Stored(kWindowColour).value, 0x00FF00);
  EXPECT_EQ(beeps, 0);

  // A store whose folder cannot exist: every write fails with a beep, the
  // load finds no key and keeps the window as it is.
  WriteFile(dir.File("blocker"), "");
  Registry broken(dir.File("blocker") + "/config");
  SettingsStore failing(broken, [this] { ++beeps; });
  EXPECT_FALSE(failing.StoreSetting(kRatio, 1));
  EXPECT_EQ(beeps, 1);
  WindowSettings fresh;
  failing.LoadSettings(fresh);
  EXPECT_EQ(fresh.RatioIndex, 2);
  fresh.RatioIndex = 0;
  failing.rgyslClick(fresh);
  EXPECT_EQ(fresh.Level, ZipLevel::None);  // applied even though not stored
  EXPECT_EQ(beeps, 2);
}

}  // namespace
}  // namespace vesk::settings
