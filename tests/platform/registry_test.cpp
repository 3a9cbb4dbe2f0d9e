#include "platform/registry.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr RegistryRoot kHKCU = RegistryRoot::CurrentUser;
constexpr RegistryRoot kHKCR = RegistryRoot::ClassesRoot;

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Registry, ValuesOfBothTypesPersistAcrossInstances) {
  TempDir dir;
  const std::string awkward = std::string("line1\nline2\r\t\"quoted\" a=b \\x41 \\ 密钥 \x01\x7F\xFF\xC3 end", 40);
  {
    Registry reg(dir.File("store"));
    auto key = reg.OpenKey(kHKCU, "SOFTWARE\\Vesk 文件加密", true);
    ASSERT_TRUE(key);
    key->WriteInteger("zzll", 2);
    key->WriteInteger("ctbjc", static_cast<int32_t>(0xFF000008u));
    key->WriteInteger("min", INT32_MIN);
    key->WriteString("text", awkward);
    key->WriteString("", "default");
    key->WriteString("name with \"quote\" = and \\", "x");
  }
  Registry again(dir.File("store"));
  auto key = again.OpenKey(kHKCU, "SOFTWARE\\Vesk 文件加密", false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInteger("zzll").value, 2);
  EXPECT_EQ(static_cast<uint32_t>(key->ReadInteger("ctbjc").value), 0xFF000008u);
  EXPECT_EQ(key->ReadInteger("min").value, INT32_MIN);
  EXPECT_EQ(key->ReadString("text").value, awkward);
  EXPECT_EQ(key->ReadString("").value, "default");
  EXPECT_EQ(key->ReadString("name with \"quote\" = and \\").value, "x");

  // The file is readable text, valid UTF-8 whatever the strings hold.
  const std::string text = ReadFile(again.FilePath(kHKCU));
  EXPECT_NE(text.find("[SOFTWARE\\Vesk 文件加密]\n"), std::string::npos);
  EXPECT_NE(text.find("\"zzll\"=dword:00000002\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
  EXPECT_EQ(text.find('\xFF'), std::string::npos);
  EXPECT_EQ(FilesIn(dir.File("store")), (std::vector<std::string>{"registry-current-user.txt", "registry.lock"}));
}

TEST(Registry, TwoInstancesSeeEachOthersChanges) {
  TempDir dir;
  Registry a(dir.path()), b(dir.path());
  auto ka = a.OpenKey(kHKCU, "k", true);
  auto kb = b.OpenKey(kHKCU, "K", false);
  ASSERT_TRUE(kb);
  ka->WriteInteger("one", 1);
  kb->WriteInteger("two", 2);
  EXPECT_EQ(ka->ReadInteger("two").value, 2);
  EXPECT_EQ(kb->ReadInteger("one").value, 1);
}

TEST(Registry, AbsentAndWrongTypeAreToldApart) {
  TempDir dir;
  Registry reg(dir.File("store"));
  EXPECT_FALSE(reg.OpenKey(kHKCU, "SOFTWARE\\Vesk 文件加密", false));
  EXPECT_FALSE(reg.KeyExists(kHKCU, "SOFTWARE"));
  // Looking creates nothing, not even the directory.
  EXPECT_FALSE(std::filesystem::exists(dir.File("store")));
  EXPECT_FALSE(reg.DeleteKey(kHKCU, "SOFTWARE"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("store")));

  auto key = reg.OpenKey(kHKCU, "SOFTWARE\\Vesk 文件加密", true);
  key->WriteString("zzll", "2");
  key->WriteInteger("pbmy", 1);
  EXPECT_EQ(key->ReadInteger("zzll").status, ReadStatus::WrongType);
  EXPECT_EQ(key->ReadString("pbmy").status, ReadStatus::WrongType);
  EXPECT_EQ(key->ReadInteger("ctsf").status, ReadStatus::Absent);
  EXPECT_EQ(key->ReadString("").status, ReadStatus::Absent);
  EXPECT_EQ(key->ValueType("zzll"), RegistryValueType::String);

  // Writing replaces a value of the other type.
  key->WriteInteger("zzll", 0);
  EXPECT_TRUE(key->ReadInteger("zzll").ok());
  EXPECT_EQ(key->ReadInteger("zzll").value, 0);
}

TEST(Registry, NamesMatchWithoutLetterCaseAndKeepTheirCase) {
  TempDir dir;
  Registry reg(dir.path());
  auto key = reg.OpenKey(kHKCU, "SOFTWARE\\Vesk Ärger", true);
  key->WriteInteger("ZzLl", 3);
  auto lower = reg.OpenKey(kHKCU, "software\\vesk ärger", false);
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->ReadInteger("zzll").value, 3);
  lower->WriteInteger("ZZLL", 1);
  EXPECT_EQ(lower->Path(), "SOFTWARE\\Vesk Ärger");
  EXPECT_EQ(lower->ValueNames(), std::vector<std::string>{"ZzLl"});
  EXPECT_EQ(key->ReadInteger("zzll").value, 1);
  EXPECT_EQ(reg.OpenKey(kHKCU, "Software", false)->SubKeyNames(), std::vector<std::string>{"Vesk Ärger"});
  EXPECT_THROW(reg.OpenKey(kHKCU, "a\\\\b", true), RegistryError);
  EXPECT_THROW(reg.KeyExists(kHKCU, "a\\"), RegistryError);
}

TEST(Registry, DeletingValuesAndKeyTrees) {
  TempDir dir;
  Registry reg(dir.path());
  auto command = reg.OpenKey(kHKCR, "qelvor\\shell\\open\\command", true);
  command->WriteString("", "\"/opt/vesk\" \"%1\"");
  reg.OpenKey(kHKCR, "qelvor\\DefaultIcon", true)->WriteString("", "/opt/vesk,0");
  reg.OpenKey(kHKCR, ".jmz", true)->WriteString("", "qelvor");
  auto shell = reg.OpenKey(kHKCR, "*\\shell", true);
  reg.OpenKey(kHKCR, "*\\shell\\Vesk 文件加密", true);  // a key without values persists too
  EXPECT_TRUE(shell->HasSubKey("vesk 文件加密"));

  EXPECT_FALSE(command->DeleteValue("missing"));
  EXPECT_TRUE(reg.OpenKey(kHKCR, ".jmz", false)->DeleteValue(""));
  EXPECT_TRUE(reg.KeyExists(kHKCR, ".jmz"));

  EXPECT_TRUE(reg.DeleteKey(kHKCR, "QELVOR"));
  EXPECT_FALSE(reg.KeyExists(kHKCR, "qelvor\\shell"));
  EXPECT_FALSE(reg.DeleteKey(kHKCR, "qelvor"));
  EXPECT_FALSE(reg.DeleteKey(kHKCR, ""));  // the root stays
  EXPECT_TRUE(reg.KeyExists(kHKCR, "*\\shell\\Vesk 文件加密"));
  EXPECT_TRUE(reg.KeyExists(kHKCR, ".jmz"));

  // A handle of a deleted key reads nothing and refuses writes.
  EXPECT_FALSE(command->Exists());
  EXPECT_EQ(command->ReadString("").status, ReadStatus::Absent);
  EXPECT_THROW(command->WriteString("", "x"), RegistryError);
  EXPECT_FALSE(reg.KeyExists(kHKCR, "qelvor"));

  // The roots are separate files.
  EXPECT_FALSE(reg.KeyExists(kHKCU, ".jmz"));
  EXPECT_TRUE(std::filesystem::exists(reg.FilePath(kHKCR)));
  EXPECT_FALSE(std::filesystem::exists(reg.FilePath(kHKCU)));
}

TEST(Registry, DamagedOrUnreadableFileReadsAsAbsentAndIsKeptAside) {
  const std::string damaged[] = {
      std::string("\x7F" "ELF\0\0garbage", 12),
      "VeskRegistry 1\n\"zzll\"=dword:1\n",                 // value before any key
      "VeskRegistry 1\n[k]\n\"zzll\"=dword:123456789\n",    // nine hex digits
      "VeskRegistry 1\n[k]\n\"a\"=\"unterminated\n",
      "VeskRegistry 1\n[k]\n\"a\"=\"bad \\q escape\"\n",
      "VeskRegistry 1\n[k\\\\j]\n",                           // empty segment
      "VeskRegistry 1\n[k%4]\n",                              // cut escape
      "[k]\n\"a\"=dword:1\n",                                 // no signature
  };
  for (const std::string& content : damaged) {
    SCOPED_TRACE(content);
    TempDir dir;
    Registry reg(dir.path());
    WriteFile(reg.FilePath(kHKCU), content);
    EXPECT_FALSE(reg.KeyExists(kHKCU, "k"));
    reg.OpenKey(kHKCU, "fresh", true)->WriteInteger("v", 7);
    EXPECT_EQ(reg.OpenKey(kHKCU, "fresh", false)->ReadInteger("v").value, 7);
    EXPECT_EQ(ReadFile(reg.FilePath(kHKCU) + ".damaged"), content);
  }

  TempDir dir;
  Registry reg(dir.path());
  WriteFile(reg.FilePath(kHKCU), "");
  EXPECT_FALSE(reg.KeyExists(kHKCU, "k"));
  // A directory where the file should be: unreadable, and never replaced.
  std::filesystem::remove(reg.FilePath(kHKCU));
  std::filesystem::create_directory(reg.FilePath(kHKCU));
  EXPECT_FALSE(reg.KeyExists(kHKCU, "k"));
  EXPECT_THROW(reg.OpenKey(kHKCU, "k", true), RegistryError);
}

TEST(Registry, HandWrittenFileIsAccepted) {
  TempDir dir;
  Registry reg(dir.path());
  WriteFile(reg.FilePath(kHKCU),
            "VeskRegistry 1 HKEY_CURRENT_USER\r\n; a comment\r\n\r\n[Software\\Vesk 文件加密]\r\n"
            "\"ctsf\"=dword:ffffffff\r\n\"s\"=\"a\\x41\\n\"\r\n");
  auto key = reg.OpenKey(kHKCU, "SOFTWARE\\VESK 文件加密", false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInteger("ctsf").value, -1);
  EXPECT_EQ(key->ReadString("s").value, "aA\n");
}

// Lowers the file-size limit so the next write fails as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = saved_;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

TEST(Registry, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  Registry reg(dir.path());
  auto key = reg.OpenKey(kHKCU, "SOFTWARE\\Vesk 文件加密", true);
  key->WriteInteger("zzll", 1);
  const std::string before = ReadFile(reg.FilePath(kHKCU));
  {
    FileSizeLimit limit(before.size() + 16);
    EXPECT_THROW(key->WriteString("big", std::string(4096, 'x')), RegistryError);
  }
  EXPECT_EQ(ReadFile(reg.FilePath(kHKCU)), before);
  EXPECT_EQ(key->ReadString("big").status, ReadStatus::Absent);
  EXPECT_EQ(key->ReadInteger("zzll").value, 1);
  // No temporary file is left behind.
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"registry-current-user.txt", "registry.lock"}));
}

TEST(Registry, ReadOnlyDirectoryRefusesWritesAndKeepsTheFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir dir;
  Registry reg(dir.path());
  reg.OpenKey(kHKCU, "k", true)->WriteInteger("v", 1);
  const std::string before = ReadFile(reg.FilePath(kHKCU));
  ::chmod(dir.path().c_str(), 0500);
  EXPECT_THROW(reg.OpenKey(kHKCU, "k", false)->WriteInteger("v", 2), RegistryError);
  ::chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(ReadFile(reg.FilePath(kHKCU)), before);
}

TEST(Registry, DefaultDirectoryFollowsXdgConfigHome) {
  const char* saved_xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = saved_xdg != nullptr ? saved_xdg : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg/home", 1);
  EXPECT_EQ(Registry::DefaultDirectory(), "/cfg/home/vesk");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  if (!home.empty() && home[0] == '/') {
    EXPECT_EQ(Registry::DefaultDirectory(), home + "/.config/vesk");
  }
  if (saved_xdg != nullptr) {
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(Registry("/x/y/").FilePath(RegistryRoot::ClassesRoot), "/x/y/registry-classes-root.txt");
}

}  // namespace
}  // namespace vesk
