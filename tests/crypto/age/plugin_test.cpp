// The plugin conversation without a process: the plugin's side is a script
// of stanzas, the client's side is recorded. Names and keys as the age
// plugin protocol maps them; what a client must answer and refuse.
#include <gtest/gtest.h>

#include "crypto/age/encoding.h"
#include "crypto/age/plugin.h"

namespace vesk::age {
namespace {

// Replies come from a fixed script; what the client sends is kept.
class ScriptedChannel : public PluginChannel {
 public:
  explicit ScriptedChannel(const std::vector<Stanza>& script) {
    for (const Stanza& s : script) replies_text_ += SerializeStanza(s);
    replies_ = std::make_unique<MemorySource>(replies_text_);
  }
  bool Send(std::string_view bytes) override {
    sent += bytes;
    return true;
  }
  Source& Replies() override { return *replies_; }
  std::string sent;

 private:
  std::string replies_text_;
  std::unique_ptr<MemorySource> replies_;
};

class ScriptedUi : public PluginUi {
 public:
  bool Message(const std::string& text) override {
    seen.push_back("msg:" + text);
    return true;
  }
  std::optional<bool> Confirm(const std::string& text, const std::string& yes, const std::string& no) override {
    seen.push_back("confirm:" + text + "/" + yes + "/" + no);
    return true;
  }
  std::optional<SecretBytes> Request(const std::string& text, bool secret) override {
    seen.push_back((secret ? "secret:" : "public:") + text);
    return SecretBytes::FromString("1234");
  }
  void Error(const std::string& plugin, const std::string& text) override { seen.push_back("error:" + plugin + ":" + text); }
  std::vector<std::string> seen;
};

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }
Stanza S(std::string type, std::vector<std::string> args = {}, std::string_view body = {}) {
  return Stanza{std::move(type), std::move(args), Bytes(body)};
}

const std::string kRecipient = Bech32Encode("age1vesktest", std::vector<uint8_t>(16, 7));
const std::string kIdentity = [] {
  std::string s = Bech32Encode("age-plugin-vesktest-", std::vector<uint8_t>(16, 7));
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}();

TEST(PluginKeys, NamesMapToPluginsAndNeverToPaths) {
  struct Case {
    std::string text;
    bool identity;
    std::optional<std::string> plugin;
  };
  const std::vector<Case> cases = {
      {kRecipient, false, "vesktest"},
      {kIdentity, true, "vesktest"},
      {Bech32Encode("age", std::vector<uint8_t>(32, 1)), false, std::nullopt},  // a native X25519 key
      {Bech32Encode("age1pq", std::vector<uint8_t>(8, 1)), false, std::nullopt},  // the native post-quantum type
      {Bech32Encode("age1a/b", std::vector<uint8_t>(4, 1)), false, std::nullopt},
      {Bech32Encode("age1..", std::vector<uint8_t>(4, 1)), false, std::nullopt},
      {Bech32Encode("age1x.y+z_w-v", std::vector<uint8_t>(4, 1)), false, "x.y+z_w-v"},
      {"AGE-PLUGIN-" + std::string("X/Y-1QQQQQQ"), true, std::nullopt},
      {"age1vesktest1qqqsyqcyq5rqwzqfpg9scrgwpu7dr7dz", false, std::nullopt},  // bad checksum
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.identity ? PluginOfIdentity(c.text) : PluginOfRecipient(c.text), c.plugin) << c.text;
  }
  EXPECT_EQ(PluginOfIdentity(DefaultPluginIdentity("vesktest")), "vesktest");
  EXPECT_EQ(PluginProgram("VeskTest"), "age-plugin-vesktest");
  for (const char* bad : {"", ".", "..", "a/b", "a b", "ü"}) EXPECT_FALSE(IsPluginName(bad)) << bad;
}

TEST(PluginConversation, WrappingAnswersEveryRequestAndKeepsTheStanzas) {
  ScriptedChannel channel({S("msg", {}, "touch it"), S("grease-x", {"y"}),
                           S("confirm", {EncodeBase64Raw(Bytes("yes")), EncodeBase64Raw(Bytes("no"))}, "sure?"),
                           S("request-secret", {}, "PIN"), S("labels", {"b", "a"}),
                           S("recipient-stanza", {"0", "vesktest", "tag"}, "wrapped"), S("done")});
  ScriptedUi ui;
  SecretBytes file_key(16);
  std::vector<Stanza> out;
  std::vector<std::string> labels;
  ASSERT_TRUE(WrapWithPlugin(channel, ui, {kRecipient}, {}, file_key, out, labels).ok());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], S("vesktest", {"tag"}, "wrapped"));
  EXPECT_EQ(labels, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ui.seen, (std::vector<std::string>{"msg:touch it", "confirm:sure?/yes/no", "secret:PIN"}));
  // Phase 1 in order, then one answer per command, "unsupported" for the unknown one.
  const std::string expected = "-> add-recipient " + kRecipient + "\n\n-> wrap-file-key\nAAAAAAAAAAAAAAAAAAAAAA\n" +
                               "-> extension-labels\n\n-> done\n\n-> ok\n\n-> unsupported\n\n-> ok yes\n\n" +
                               "-> ok\nMTIzNA\n-> ok\n\n-> ok\n\n";
  EXPECT_EQ(channel.sent, expected);
}

TEST(PluginConversation, BrokenOrFailingPluginsAreRefused) {
  struct Case {
    const char* what;
    std::vector<Stanza> script;
  };
  const std::vector<Case> wrap = {
      {"ends early", {S("msg", {}, "x")}},
      {"an error", {S("error", {"internal"}, "no"), S("done")}},
      {"no stanza", {S("done")}},
      {"another file", {S("recipient-stanza", {"1", "t"}, "x"), S("done")}},
      {"labels twice", {S("labels", {"a"}), S("labels", {"a"}), S("done")}},
      {"a label twice", {S("labels", {"a", "a"}), S("done")}},
  };
  for (const Case& c : wrap) {
    ScriptedChannel channel(c.script);
    ScriptedUi ui;
    std::vector<Stanza> out;
    std::vector<std::string> labels;
    EXPECT_FALSE(WrapWithPlugin(channel, ui, {kRecipient}, {}, SecretBytes(16), out, labels).ok()) << c.what;
  }
  const std::vector<Case> unwrap = {
      {"ends early", {}},
      {"a short file key", {S("file-key", {"0"}, "short"), S("done")}},
      {"two file keys", {S("file-key", {"0"}, std::string(16, 'k')), S("file-key", {"0"}, std::string(16, 'k')), S("done")}},
  };
  for (const Case& c : unwrap) {
    ScriptedChannel channel(c.script);
    ScriptedUi ui;
    SecretBytes key;
    EXPECT_EQ(UnwrapWithPlugin(channel, ui, {kIdentity}, {S("vesktest", {"t"}, "x")}, key).kind, Unwrapped::Kind::kFailed)
        << c.what;
  }
}

TEST(PluginConversation, UnwrappingFindsTheKeyOrLetsOtherIdentitiesTry) {
  const Stanza stanza = S("vesktest", {"t", "u"}, "body");
  {
    ScriptedChannel channel({S("file-key", {"0"}, std::string(16, 'k')), S("done")});
    ScriptedUi ui;
    SecretBytes key;
    EXPECT_EQ(UnwrapWithPlugin(channel, ui, {kIdentity}, {stanza}, key).kind, Unwrapped::Kind::kFileKey);
    EXPECT_EQ(key.view(), std::string(16, 'k'));
    EXPECT_EQ(channel.sent, "-> add-identity " + kIdentity + "\n\n-> recipient-stanza 0 vesktest t u\nYm9keQ\n-> done\n\n-> ok\n\n");
  }
  {
    ScriptedChannel channel({S("error", {"identity", "0"}, "wrong PIN"), S("done")});
    ScriptedUi ui;
    SecretBytes key;
    EXPECT_EQ(UnwrapWithPlugin(channel, ui, {kIdentity}, {stanza}, key).kind, Unwrapped::Kind::kNotMine);
    EXPECT_EQ(ui.seen, (std::vector<std::string>{"error:vesktest:wrong PIN"}));
  }
}

}  // namespace
}  // namespace vesk::age
