// The command-state rules: what the window shows while an operation runs and
// after it ended, applied through the recording reporter.
#include "app/control.h"

#include <gtest/gtest.h>

#include "selfextract/layout.h"
#include "support/recording_reporter.h"

namespace vesk {
namespace {

using testing::RecordingReporter;

TEST(CommandState, BusyDecryptLocksEverythingButItselfAndTheEncryptKey) {
  RecordingReporter r;
  r.SetOwnFileSize(selfextract::SelfDecryptMinimum(r.ImageSize()));
  r.SetCommandState(Operation::Decrypt, false);
  for (Control c : {Control::EncryptButton, Control::CreateSelfDecryptingButton, Control::SelfDecryptButton, Control::SeparateButton, Control::ShredItem,
                    Control::DecryptionKey}) {
    EXPECT_FALSE(r.controls[c].enabled);
  }
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_TRUE(r.controls[Control::DecryptButton].enabled);
  EXPECT_EQ(r.controls[Control::DecryptButton].caption, "取消解密");
  EXPECT_EQ(r.controls[Control::DecryptButton].tag, 1);
}

TEST(CommandState, BusyEncryptLocksItsKeyBox) {
  RecordingReporter r;
  r.SetCommandState(Operation::Encrypt, false);
  EXPECT_FALSE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_EQ(r.controls[Control::EncryptButton].caption, "取消加密");
  r.SetCommandState(Operation::Encrypt, true);
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_EQ(r.controls[Control::EncryptButton].caption, "加密文件");
  EXPECT_EQ(r.controls[Control::EncryptButton].tag, 0);
}

TEST(CommandState, SelfDecryptButtonsNeedAPayloadAfterTheImage) {
  RecordingReporter r;
  EXPECT_EQ(selfextract::SelfDecryptMinimum(584192), 584501);
  r.SetImageSize(584192);
  r.SetOwnFileSize(584500);
  r.SetCommandState(Operation::Encrypt, true);
  EXPECT_FALSE(r.controls[Control::SelfDecryptButton].enabled);
  EXPECT_FALSE(r.controls[Control::SeparateButton].enabled);
  r.SetOwnFileSize(584501);
  r.SetCommandState(Operation::Encrypt, true);
  EXPECT_TRUE(r.controls[Control::SelfDecryptButton].enabled);
  EXPECT_TRUE(r.controls[Control::SeparateButton].enabled);
}

TEST(CommandState, OtherControlsKeepTheirCaptionButServeAsCancel) {
  RecordingReporter r;
  r.controls[Control::SoftKeyboardButton].caption = "软键盘";
  r.SetCommandState(Operation::MenuCommand, false);
  EXPECT_EQ(r.controls[Control::SoftKeyboardButton].caption, "软键盘");
  EXPECT_TRUE(r.controls[Control::SoftKeyboardButton].enabled);
  EXPECT_EQ(r.controls[Control::SoftKeyboardButton].tag, 1);
  EXPECT_FALSE(r.controls[Control::EncryptButton].enabled);
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);  // only EncryptButton touches EncryptionKey
}

}  // namespace
}  // namespace vesk
