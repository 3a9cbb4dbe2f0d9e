// The file dialogs' size in the settings: read back only when whole and
// sensible, stored within the kept range.
#include "settings/file_dialog_size.h"

#include <gtest/gtest.h>

#include "settings/memory_store.h"

namespace vesk::settings {
namespace {

TEST(FileDialogSize, OnlyAWholeSensibleSizeIsReadBack) {
  MemoryStore values;
  EXPECT_EQ(StoredFileDialogSize(values), std::nullopt);  // no store yet
  values.WriteInteger("zzll", 2);
  EXPECT_EQ(StoredFileDialogSize(values), std::nullopt);  // a store without it
  values.WriteInteger("wjkkd", 820);
  EXPECT_EQ(StoredFileDialogSize(values), std::nullopt);  // the height missing
  values.WriteInteger("wjkgd", 470);
  EXPECT_EQ(StoredFileDialogSize(values), (DialogSize{820, 470}));
  // Edited by hand or damaged: the dialogs' own size is used instead.
  for (const char* text : {"abc", "-5", "199", "16385", "4294967295"}) {
    SCOPED_TRACE(text);
    values.WriteText("wjkgd", text);
    EXPECT_EQ(StoredFileDialogSize(values), std::nullopt);
  }
  values.WriteText("wjkgd", " 200 ");
  EXPECT_EQ(StoredFileDialogSize(values), (DialogSize{820, 200}));
}

TEST(FileDialogSize, StoringKeepsEachSideInRange) {
  MemoryStore values;
  StoreFileDialogSize(values, {100, 20000});
  EXPECT_EQ(values.ReadInteger("wjkkd").value, 200);
  EXPECT_EQ(values.ReadInteger("wjkgd").value, 16384);
  EXPECT_EQ(StoredFileDialogSize(values), (DialogSize{200, 16384}));
  StoreFileDialogSize(values, {1024, 640});
  EXPECT_EQ(StoredFileDialogSize(values), (DialogSize{1024, 640}));
}

}  // namespace
}  // namespace vesk::settings
