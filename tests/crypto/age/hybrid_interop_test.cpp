// Post-quantum age files exchanged with the TypeScript age implementation
// (the npm package age-encryption, run with node) in both directions:
// empty, one byte and just over one chunk, binary and armored. The build
// installs the package beside the test; without node or the package the
// test skips.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "age_test_util.h"
#include "crypto/age/age.h"
#include "crypto/age/hybrid_keys.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk::age {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::RunProcess;
using vesk::testing::WriteFile;

TEST(AgeHybridInterop, FilesBothWaysWithTheTypeScriptImplementation) {
  const std::string node = testing::FindProgram("node");
  const std::string dir = VESK_AGE_JS_DIR;
  if (node.empty()) GTEST_SKIP() << "node is not installed";
  if (::access((dir + "/node_modules/age-encryption/package.json").c_str(), R_OK) != 0)
    GTEST_SKIP() << "the npm package age-encryption could not be installed into " << dir;
  auto js = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {node, dir + "/age_js.mjs"});
    const auto r = RunProcess(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  std::istringstream keygen(js({"keygen"}));
  std::string their_identity, their_recipient_text;
  keygen >> their_identity >> their_recipient_text;
  const auto their_recipient = HybridRecipient::Parse(their_recipient_text);
  ASSERT_TRUE(their_recipient.has_value()) << their_recipient_text.substr(0, 40);
  ASSERT_TRUE(HybridIdentity::Parse(their_identity).has_value());
  const auto ours = *HybridIdentity::Generate();

  vesk::testing::TempDir tmp;
  const std::string plain_path = tmp.File("plain"), file_path = tmp.File("file"), out_path = tmp.File("out");
  for (const bool armor : {false, true}) {
    for (const std::size_t size : {0u, 1u, 65537u}) {
      SCOPED_TRACE((armor ? "armored, " : "binary, ") + std::to_string(size) + " bytes");
      const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size));
      WriteFile(plain_path, plain);
      // Theirs, opened by us.
      std::vector<std::string> encrypt = {"encrypt", ours.ToRecipient().Encode(), plain_path, file_path};
      if (armor) encrypt.push_back("armor");
      js(encrypt);
      const std::string theirs = ReadFile(file_path);
      MemorySource in(theirs);
      StringSink out;
      std::atomic<bool> stop {false};
      const Result opened = Decrypt({&ours}, in, out, {}, stop);
      EXPECT_TRUE(opened.ok()) << opened.detail;
      EXPECT_TRUE(out.out == plain);
      // Ours, opened by them.
      MemorySource plain_in(plain);
      StringSink file;
      EncryptOptions options;
      options.armor = armor;
      const Result sealed = Encrypt({&*their_recipient}, plain_in, file, options, stop);
      ASSERT_TRUE(sealed.ok()) << sealed.detail;
      WriteFile(file_path, file.out);
      ::unlink(out_path.c_str());
      js({"decrypt", their_identity, file_path, out_path});
      EXPECT_TRUE(ReadFile(out_path) == plain);
    }
  }
}

}  // namespace
}  // namespace vesk::age
