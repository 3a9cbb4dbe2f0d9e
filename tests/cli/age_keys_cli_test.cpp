// vesk-cli's keys beyond X25519, against their peers: SSH keys made by
// ssh-keygen (Ed25519, RSA 3072; OpenSSH, PEM and PKCS#8; with and without
// a passphrase) and passphrase-protected identity files both ways with the
// age tool, post-quantum keys both ways with the TypeScript implementation,
// encryption to the keys of identity files, key files read once from pipes,
// FIFOs and standard input, one value per key option, and every refusal
// exiting 1 with nothing written.
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"
#include "cli/on_terminal.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::FindProgram;
using testing::OnTerminal;
using testing::ProcessResult;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunProcess;
using testing::WriteFile;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }
std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

std::size_t Count(const std::string& s, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = s.find(part, at)) != std::string::npos; at += part.size()) ++n;
  return n;
}

class AgeKeys : public CliTest {
 protected:
  void SetUp() override {
    age_ = FindProgram("age");
    keygen_ = FindProgram("age-keygen");
    ssh_keygen_ = FindProgram("ssh-keygen");
    if (age_.empty() || keygen_.empty() || ssh_keygen_.empty()) GTEST_SKIP() << "age or ssh-keygen is not installed";
    plain_ = RandomBytes(70000, 21);
    WriteFile(dir_.File("p"), plain_);
    const ProcessResult ours = Cli({"keygen", "-o", dir_.File("our.key")});
    ASSERT_EQ(ours.status, 0) << ours.err;
    ours_ = FirstLine(ours.out);
  }
  ProcessResult Age(std::vector<std::string> args) {
    args.insert(args.begin(), age_);
    return RunProcess(args);
  }
  // An SSH key pair KEY and KEY.pub from ssh-keygen.
  void SshKey(const std::string& name, const std::vector<std::string>& type, const std::string& passphrase) {
    std::vector<std::string> args = {ssh_keygen_, "-q", "-N", passphrase, "-C", "test", "-f", dir_.File(name)};
    args.insert(args.begin() + 1, type.begin(), type.end());
    ASSERT_EQ(RunProcess(args).status, 0);
  }
  std::string Pub(const std::string& name) { return FirstLine(ReadFile(dir_.File(name + ".pub"))); }
  // `argv` run on a terminal where `passphrase` (when not empty) is typed at
  // each of `prompts` prompts showing `cue`.
  int Run(const std::vector<std::string>& argv, const std::string& cue, const std::string& passphrase, int prompts = 1,
          std::string* seen = nullptr) {
    if (passphrase.empty()) {
      const ProcessResult r = RunProcess(argv, InTmp());
      if (seen != nullptr) *seen = r.out + r.err;
      return r.status;
    }
    return OnTerminal(argv, {{"TMPDIR", tmp_.path()}}, cue, passphrase, prompts, seen);
  }
  std::size_t Files() { return FilesIn(dir_.path()) + FilesIn(tmp_.path()); }
  testing::ProcessOptions InTmp() {
    testing::ProcessOptions options;
    options.env["TMPDIR"] = tmp_.path();
    return options;
  }

  std::string age_, keygen_, ssh_keygen_, ours_, plain_;
};

TEST_F(AgeKeys, KeyOptionsTakeOneValueEachAndMayBeRepeated) {
  ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("their.key")}).status, 0);
  const std::string theirs = FirstLine(RunProcess({keygen_, "-y", dir_.File("their.key")}).out);
  WriteFile(dir_.File("q"), "second");
  // The file after a key option is a source, never a second key.
  const ProcessResult made = Cli({"encrypt", "--format", "age", "-r", ours_, dir_.File("p"), "--recipient", theirs,
                                  dir_.File("q")});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, dir_.File("p.age") + "\n" + dir_.File("q.age") + "\n");
  for (const char* key : {"our.key", "their.key"}) {
    const ProcessResult r = Age({"-d", "-i", dir_.File(key), dir_.File("q.age")});
    EXPECT_EQ(r.status, 0) << key << ": " << r.err;
    EXPECT_EQ(r.out, "second");
  }
  std::filesystem::remove(dir_.File("p"));
  const ProcessResult back = Cli({"decrypt", "-i", dir_.File("their.key"), dir_.File("p.age"), "-i", dir_.File("our.key")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(ReadFile(dir_.File("p")) == plain_);
}

TEST_F(AgeKeys, SshKeysGoBothWaysWithTheAgeTool) {
  struct Case {
    std::string name;
    std::vector<std::string> type;
    std::string passphrase;
    std::string form;  // "" (OpenSSH) or the -m of ssh-keygen -p
  } cases[] = {
      {"ed", {"-t", "ed25519"}, "", ""},
      {"ed-pw", {"-t", "ed25519"}, "口令 ed25519", ""},
      {"rsa", {"-t", "rsa", "-b", "3072"}, "", ""},
      // libssh 0.10 opens a protected OpenSSH RSA key but cannot hand it
      // over; ssh-keygen takes the passphrase off in memory instead.
      {"rsa-pw", {"-t", "rsa", "-b", "3072"}, "rsa pass", ""},
      {"rsa-pem", {"-t", "rsa", "-b", "3072"}, "pem pass", "PEM"},
      {"rsa-pkcs8", {"-t", "rsa", "-b", "3072"}, "", "PKCS8"},
  };
  ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("other.key")}).status, 0);
  const std::string other = FirstLine(RunProcess({keygen_, "-y", dir_.File("other.key")}).out);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SshKey(c.name, c.type, c.form.empty() ? c.passphrase : "");
    if (!c.form.empty()) {
      ASSERT_EQ(RunProcess({ssh_keygen_, "-q", "-p", "-f", dir_.File(c.name), "-m", c.form, "-P", "", "-N", c.passphrase}).status, 0);
    }
    const std::string key = dir_.File(c.name);
    // Ours to the public key (inline, and as a .pub file), opened by age.
    for (const bool inline_key : {true, false}) {
      const std::string out = dir_.File(c.name + ".age");
      std::filesystem::remove(out);
      const ProcessResult made = Cli({"encrypt", "--format", "age", dir_.File("p"), "-o", out, inline_key ? "-r" : "-R",
                                      inline_key ? Pub(c.name) : key + ".pub"});
      ASSERT_EQ(made.status, 0) << made.err;
      EXPECT_EQ(ReadFile(out).find(c.type[1] == "ed25519" ? "\n-> ssh-ed25519 " : "\n-> ssh-rsa "), 21u);
      std::filesystem::remove(dir_.File("by-age"));
      EXPECT_EQ(Run({age_, "-d", "-i", key, "-o", dir_.File("by-age"), out}, "passphrase", c.passphrase), 0);
      EXPECT_TRUE(Exists(dir_.File("by-age")) && ReadFile(dir_.File("by-age")) == plain_);
    }
    // age's files to the key, two at once: a protected key asks once.
    ASSERT_EQ(Age({"-R", key + ".pub", "-o", dir_.File("a.age"), dir_.File("p")}).status, 0);
    ASSERT_EQ(Age({"-R", key + ".pub", "-r", other, "-o", dir_.File("b.age"), dir_.File("p")}).status, 0);
    std::string seen;
    std::filesystem::remove(dir_.File("a"));
    std::filesystem::remove(dir_.File("b"));
    EXPECT_EQ(Run({VESK_CLI_PATH, "decrypt", dir_.File("a.age"), dir_.File("b.age"), "-i", key}, "密码", c.passphrase, 1,
                  &seen),
              0)
        << seen;
    EXPECT_EQ(Count(seen, "输入 SSH 私钥"), c.passphrase.empty() ? 0u : 1u) << seen;
    EXPECT_TRUE(ReadFile(dir_.File("a")) == plain_ && ReadFile(dir_.File("b")) == plain_);
    if (c.name == "rsa-pw") {
      // Without ssh-keygen on the path: refused with the way out, nothing written.
      std::filesystem::remove(dir_.File("a"));
      EXPECT_EQ(OnTerminal({VESK_CLI_PATH, "decrypt", dir_.File("a.age"), "-i", key},
                           {{"TMPDIR", tmp_.path()}, {"PATH", dir_.File("nothing")}}, "密码", c.passphrase, 1, &seen),
                1)
          << seen;
      EXPECT_TRUE(Contains(seen, "ssh-keygen -p -m PEM")) << seen;
      EXPECT_FALSE(Exists(dir_.File("a")));
    }
    // A file for another key only: the protected key is never asked for
    // (there is no terminal here), the other key opens it; and a file for
    // both keys opens with the other one when this one cannot be opened.
    ASSERT_EQ(Age({"-r", other, "-o", dir_.File("c.age"), dir_.File("p")}).status, 0);
    for (const char* file : {"c.age", "b.age"}) {
      std::filesystem::remove(dir_.File(std::string(file, 1)));
      const ProcessResult r = Cli({"decrypt", dir_.File(file), "-i", key, "-i", dir_.File("other.key")});
      EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    }
    // The key's own public key, and encryption to it through the key file.
    EXPECT_EQ(Cli({"keygen", "-y", key}).out, Pub(c.name).substr(0, Pub(c.name).rfind(' ')) + "\n");
  }
}

TEST_F(AgeKeys, EveryRefusalExitsOneAndWritesNothing) {
  SshKey("small", {"-t", "rsa", "-b", "1024"}, "");
  SshKey("locked", {"-t", "ed25519"}, "secret");
  SshKey("ecdsa", {"-t", "ecdsa"}, "");
  ASSERT_EQ(Cli({"keygen", "--pq", "-o", dir_.File("pq.key")}).status, 0);
  const std::string pq = FirstLine(Cli({"keygen", "-y", dir_.File("pq.key")}).out);
  WriteFile(dir_.File("small.txt"), "# small\n" + Pub("small") + "\n");
  WriteFile(dir_.File("mixed.txt"), pq + "\n" + Pub("locked") + "\n");
  WriteFile(dir_.File("ecdsa.txt"), Pub("ecdsa") + "\n");
  ASSERT_EQ(Age({"-R", dir_.File("locked.pub"), "-o", dir_.File("sealed.age"), dir_.File("p")}).status, 0);
  const std::string p = dir_.File("p");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"encrypt", p, "--format", "age", "-r", Pub("small")}, 1, "RSA 公钥短于 2048 位"},
      {{"encrypt", p, "--format", "age", "-R", dir_.File("small.txt")}, 1, "RSA 公钥短于 2048 位"},
      {{"encrypt", p, "--format", "age", "-i", dir_.File("small")}, 1, "短于 2048 位的 RSA 私钥"},
      {{"encrypt", p, "--format", "age", "-r", pq, "-r", ours_}, 1, "后量子公钥 (age1pq1…) 不能和传统公钥"},
      {{"encrypt", p, "--format", "age", "-R", dir_.File("mixed.txt")}, 1, "后量子公钥"},
      {{"encrypt", p, "--format", "age", "-i", dir_.File("pq.key"), "-i", dir_.File("our.key")}, 1, "后量子公钥"},
      {{"encrypt", p, "--format", "age", "-R", dir_.File("ecdsa.txt")}, 1, "没有接收者公钥"},
      {{"encrypt", p, "--format", "age", "-r", Pub("ecdsa")}, 1, "只支持 ssh-ed25519 和 ssh-rsa"},
      {{"decrypt", dir_.File("sealed.age"), "-i", dir_.File("locked")}, 1, "密码错误：没有输入密码或者密码不对"},
      {{"decrypt", dir_.File("sealed.age"), "-i", dir_.File("ecdsa")}, 1, "age 不支持的 SSH 私钥类型"},
      {{"encrypt", p, "--format", "age", "-R", "-", "-i", "-"}, 2, "标准输入 (-) 只能读一次"},
  };
  const std::size_t files = Files();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[c.args.size() - 2] + " " + c.args.back());
    const ProcessResult r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Files(), files);
  }
}

TEST_F(AgeKeys, ProtectedIdentityFilesGoBothWaysWithTheAgeTool) {
  const std::string passphrase = "口令 protected key";
  // age-keygen | age -p -a, opened here.
  std::string seen;
  ASSERT_EQ(OnTerminal({"/bin/sh", "-c", keygen_ + " | " + age_ + " -p -a -o " + dir_.File("their.key.age")}, {},
                       "passphrase", passphrase, 2, &seen),
            0)
      << seen;
  const std::size_t at = seen.find("age1");
  ASSERT_NE(at, std::string::npos) << seen;
  const std::string theirs = seen.substr(at, 62);
  ASSERT_EQ(Age({"-r", theirs, "-o", dir_.File("a.age"), dir_.File("p")}).status, 0);
  EXPECT_EQ(Run({VESK_CLI_PATH, "decrypt", dir_.File("a.age"), "-i", dir_.File("their.key.age")}, "密码", passphrase), 0);
  EXPECT_TRUE(ReadFile(dir_.File("a")) == plain_);

  // keygen --passphrase, opened by age; our encryption to its key through it.
  ASSERT_EQ(Run({VESK_CLI_PATH, "keygen", "--passphrase", "-o", dir_.File("mine.age")}, "密码", passphrase, 2, &seen), 0)
      << seen;
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("mine.age").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(dir_.File("mine.age")).rfind("-----BEGIN AGE ENCRYPTED FILE-----\n", 0), 0u);
  const std::size_t mine_at = seen.find("age1");
  ASSERT_NE(mine_at, std::string::npos) << seen;
  ASSERT_EQ(Age({"-r", seen.substr(mine_at, 62), "-o", dir_.File("b.age"), dir_.File("p")}).status, 0);
  EXPECT_EQ(Run({age_, "-d", "-i", dir_.File("mine.age"), "-o", dir_.File("b-by-age"), dir_.File("b.age")}, "passphrase",
                passphrase),
            0);
  EXPECT_TRUE(ReadFile(dir_.File("b-by-age")) == plain_);
  EXPECT_EQ(Run({VESK_CLI_PATH, "encrypt", "--format", "age", dir_.File("p"), "-o", dir_.File("c.age"), "-i",
                 dir_.File("mine.age")},
                "密码", passphrase),
            0);
  EXPECT_EQ(Run({age_, "-d", "-i", dir_.File("mine.age"), "-o", dir_.File("c-by-age"), dir_.File("c.age")}, "passphrase",
                passphrase),
            0);
  EXPECT_TRUE(ReadFile(dir_.File("c-by-age")) == plain_);
  // The wrong passphrase opens nothing and writes nothing.
  const std::size_t files = Files();
  EXPECT_EQ(Run({VESK_CLI_PATH, "decrypt", dir_.File("b.age"), "-i", dir_.File("mine.age")}, "密码", "wrong"), 1);
  EXPECT_EQ(Files(), files);
}

TEST_F(AgeKeys, EncryptToTheKeysOfIdentityFiles) {
  SshKey("ed", {"-t", "ed25519"}, "");
  SshKey("rsa", {"-t", "rsa", "-b", "3072"}, "");
  ASSERT_EQ(Cli({"encrypt", "--format", "age", dir_.File("p"), "-i", dir_.File("our.key"), "-i", dir_.File("ed"), "-i",
                 dir_.File("rsa")})
                .status,
            0);
  for (const char* key : {"our.key", "ed", "rsa"}) {
    const ProcessResult r = Age({"-d", "-i", dir_.File(key), dir_.File("p.age")});
    EXPECT_EQ(r.status, 0) << key << ": " << r.err;
    EXPECT_TRUE(r.out == plain_) << key;
  }
}

TEST_F(AgeKeys, KeyFilesAreReadOnceFromPipesFifosAndStandardInput) {
  WriteFile(dir_.File("team.txt"), "# team\n" + ours_ + "\n");
  ASSERT_EQ(::mkfifo(dir_.File("team.fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(dir_.File("key.fifo").c_str(), 0600), 0);
  const std::string cli = VESK_CLI_PATH, p = dir_.File("p"), key = dir_.File("our.key");
  const std::string cases[] = {
      "cat " + dir_.File("team.txt") + " | " + cli + " encrypt --format age -R - " + p + " -o " + dir_.File("1.age"),
      "cat " + dir_.File("team.txt") + " > " + dir_.File("team.fifo") + " & " + cli + " encrypt --format age -R " +
          dir_.File("team.fifo") + " " + p + " -o " + dir_.File("2.age"),
      // Two files with one identity file that can be read only once.
      cli + " decrypt " + dir_.File("1.age") + " " + dir_.File("2.age") + " -i - --yes < " + key,
      "cat " + key + " > " + dir_.File("key.fifo") + " & " + cli + " decrypt " + dir_.File("1.age") + " " +
          dir_.File("2.age") + " -i " + dir_.File("key.fifo") + " --yes",
      "exec bash -c '" + cli + " decrypt " + dir_.File("1.age") + " " + dir_.File("2.age") + " -i <(cat " + key +
          ") --yes'",
  };
  for (const std::string& command : cases) {
    SCOPED_TRACE(command);
    const ProcessResult r = RunProcess({"/bin/sh", "-c", command}, InTmp());
    EXPECT_EQ(r.status, 0) << r.err;
  }
  for (const char* out : {"1", "2"}) EXPECT_TRUE(ReadFile(dir_.File(out)) == plain_) << out;
}

TEST_F(AgeKeys, PostQuantumKeysGoBothWaysWithTheTypeScriptImplementation) {
  const std::string node = FindProgram("node");
  const std::string js_dir = VESK_AGE_JS_DIR;
  if (node.empty() || ::access((js_dir + "/node_modules/age-encryption/package.json").c_str(), R_OK) != 0)
    GTEST_SKIP() << "node or the npm package age-encryption is missing";
  auto js = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {node, js_dir + "/age_js.mjs"});
    const ProcessResult r = RunProcess(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  // keygen --pq writes what age-keygen -pq writes, and prints its recipient.
  const ProcessResult made = Cli({"keygen", "--pq", "-o", dir_.File("pq.key")});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string ours = FirstLine(made.out);
  EXPECT_EQ(ours.rfind("age1pq1", 0), 0u);
  EXPECT_GT(ours.size(), 1900u);
  const std::string text = ReadFile(dir_.File("pq.key"));
  EXPECT_EQ(text.rfind("# created: ", 0), 0u);
  EXPECT_TRUE(Contains(text, "\n# public key: " + ours + "\nAGE-SECRET-KEY-PQ-1")) << text.substr(0, 80);
  EXPECT_EQ(Cli({"keygen", "-y", dir_.File("pq.key")}).out, ours + "\n");
  // Theirs to our key, opened with the key file.
  js({"encrypt", ours, dir_.File("p"), dir_.File("theirs.age")});
  const ProcessResult back = Cli({"decrypt", dir_.File("theirs.age"), "-i", dir_.File("pq.key")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(ReadFile(dir_.File("theirs")) == plain_);
  // Ours to their key, inline and from a recipients file, opened by them.
  std::istringstream keygen(js({"keygen"}));
  std::string their_identity, theirs;
  keygen >> their_identity >> theirs;
  WriteFile(dir_.File("pq.txt"), "# theirs\n" + theirs + "\n");
  for (const std::vector<std::string>& to : {std::vector<std::string>{"-r", theirs}, {"-R", dir_.File("pq.txt")}}) {
    std::filesystem::remove(dir_.File("ours.age"));
    const ProcessResult sealed = Cli({"encrypt", "--format", "age", dir_.File("p"), "-o", dir_.File("ours.age"), to[0], to[1]});
    ASSERT_EQ(sealed.status, 0) << sealed.err;
    std::filesystem::remove(dir_.File("by-js"));
    js({"decrypt", their_identity, dir_.File("ours.age"), dir_.File("by-js")});
    EXPECT_TRUE(ReadFile(dir_.File("by-js")) == plain_);
  }
}

TEST_F(AgeKeys, InspectShowsStanzaTypesSizesAndWhetherAFileIsPostQuantum) {
  SshKey("ed", {"-t", "ed25519"}, "");
  ASSERT_EQ(Cli({"keygen", "--pq", "-o", dir_.File("pq.key")}).status, 0);
  ASSERT_EQ(Age({"-r", ours_, "-R", dir_.File("ed.pub"), "-o", dir_.File("classic.age"), dir_.File("p")}).status, 0);
  ASSERT_EQ(Cli({"encrypt", "--format", "age", "--armor", "-i", dir_.File("pq.key"), dir_.File("p"), "-o",
                 dir_.File("pq.age")})
                .status,
            0);
  // A stanza of a type nobody here knows (a plugin's): shown by its name.
  const std::string classic = ReadFile(dir_.File("classic.age"));
  const std::size_t header = classic.find('\n', classic.find("\n--- ") + 1) + 1;
  WriteFile(dir_.File("plugin.age"), "age-encryption.org/v1\n-> piv-p256 AbCd\n\n" + classic.substr(classic.find("--- ")));
  struct Case {
    std::string file;
    std::string json;
    std::string text;
  } cases[] = {
      {"classic.age",
       "{\"armored\": false, \"stanza_types\": [\"X25519\", \"ssh-ed25519\"], \"post_quantum\": false, \"passphrase\": "
       "false, \"header_size\": " + std::to_string(header) + ", \"payload_size\": " +
           std::to_string(classic.size() - header) + ", \"plaintext_size\": 70000}\n",
       "  ssh-ed25519 (SSH 公钥)\n抗量子计算机: 否\n"},
      {"pq.age", "\"stanza_types\": [\"mlkem768x25519\"], \"post_quantum\": true", "格式: ASCII 文本 (armored)\n"},
      {"plugin.age", "\"stanza_types\": [\"piv-p256\"]", "  piv-p256 (插件或者未知类型)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ProcessResult json = Cli({"inspect", dir_.File(c.file), "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(Contains(json.out, c.json)) << json.out;
    const ProcessResult text = Cli({"inspect", dir_.File(c.file)});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(Contains(text.out, c.text)) << text.out;
    EXPECT_TRUE(Contains(text.out, "估计的原文大小: 70000 字节")) << text.out;
  }
  const ProcessResult plain = Cli({"inspect", dir_.File("p")});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.out, "");
}

}  // namespace
}  // namespace vesk
