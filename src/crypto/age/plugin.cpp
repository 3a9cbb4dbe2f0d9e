#include "crypto/age/plugin.h"

#include <algorithm>
#include <cctype>

#include "crypto/age/encoding.h"

namespace vesk::age {
namespace {

constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxStanzaBody = 1 << 20;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string AsText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

Result Broken(const std::string& name, const std::string& what) {
  return Result::Fail(Status::kBadKey, "plugin " + name + ": " + what);
}

// One side of the conversation: commands out, stanzas in.
class Talk {
 public:
  Talk(PluginChannel& channel, std::string name) : channel_(channel), name_(std::move(name)), in_(channel.Replies()) {}

  bool Send(std::string type, std::vector<std::string> args = {}, std::vector<uint8_t> body = {}) {
    return channel_.Send(SerializeStanza(Stanza{std::move(type), std::move(args), std::move(body)}));
  }
  bool Reply(bool ok) { return Send(ok ? "ok" : "fail"); }
  // The same for a secret body (a file key, a PIN): no copy of it stays.
  bool SendSecret(std::string type, std::span<const uint8_t> secret) {
    Stanza stanza{std::move(type), {}, std::vector<uint8_t>(secret.begin(), secret.end())};
    std::string bytes = SerializeStanza(stanza);
    const bool sent = channel_.Send(bytes);
    Wipe(bytes.data(), bytes.size());
    Wipe(stanza.body.data(), stanza.body.size());
    return sent;
  }

  // The plugin's next command; a failure when it ended or broke the format.
  Result Next(Stanza& out) {
    std::string line;
    auto read = [&]() -> bool {
      if (in_.ReadLine(line, kMaxLine) != BufferedReader::LineStatus::kLine) return false;
      line.pop_back();
      return true;
    };
    if (!read()) return Broken(name_, "it ended before it was done");
    if (!ParseStanzaLine(line, out)) return Broken(name_, "it sent something that is not a stanza");
    for (bool last = false; !last;) {
      if (!read() || !AddStanzaBodyLine(line, out, last) || out.body.size() > kMaxStanzaBody) {
        return Broken(name_, "it sent a malformed stanza body");
      }
    }
    return Result::Ok();
  }

  // Answers what the plugin asks of its user (msg, confirm, request-*);
  // false when `command` is none of these. `sent` is false when the
  // answer could not be sent.
  bool AnswerUser(const Stanza& command, PluginUi& ui, bool& sent) {
    sent = true;
    if (command.type == "msg") {
      sent = Reply(ui.Message(AsText(command.body)));
    } else if (command.type == "confirm") {
      std::vector<uint8_t> yes, no;
      const bool well_formed = !command.args.empty() && command.args.size() <= 2 && DecodeBase64Raw(command.args[0], yes) &&
                               (command.args.size() < 2 || DecodeBase64Raw(command.args[1], no));
      const std::optional<bool> answer =
          well_formed ? ui.Confirm(AsText(command.body), AsText(yes), AsText(no)) : std::nullopt;
      sent = answer ? Send("ok", {*answer ? "yes" : "no"}) : Reply(false);
    } else if (command.type == "request-public" || command.type == "request-secret") {
      std::optional<SecretBytes> value = ui.Request(AsText(command.body), command.type == "request-secret");
      if (value) {
        sent = SendSecret("ok", value->span());
      } else {
        sent = Reply(false);
      }
    } else {
      return false;
    }
    return true;
  }

  const std::string& name() const { return name_; }

 private:
  PluginChannel& channel_;
  std::string name_;
  BufferedReader in_;
};

}  // namespace

bool IsPluginName(std::string_view name) {
  if (name.empty() || name.find_first_not_of('.') == std::string_view::npos) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.' || c == '+';
  });
}

std::optional<std::string> PluginOfRecipient(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  if (!Bech32Decode(text, hrp, data) || hrp != Lower(hrp)) return std::nullopt;
  constexpr std::string_view kPrefix = "age1";
  if (hrp.rfind(kPrefix, 0) != 0) return std::nullopt;
  std::string name = hrp.substr(kPrefix.size());
  // "age1pq1..." is the native post-quantum recipient, no plugin's.
  if (name == "pq" || !IsPluginName(name)) return std::nullopt;
  return name;
}

std::optional<std::string> PluginOfIdentity(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  if (!Bech32Decode(text, hrp, data) || hrp != Upper(hrp)) return std::nullopt;
  constexpr std::string_view kPrefix = "AGE-PLUGIN-";
  if (hrp.rfind(kPrefix, 0) != 0 || hrp.size() < kPrefix.size() + 2 || hrp.back() != '-') return std::nullopt;
  std::string name = Lower(std::string_view(hrp).substr(kPrefix.size(), hrp.size() - kPrefix.size() - 1));
  if (!IsPluginName(name)) return std::nullopt;
  return name;
}

std::string DefaultPluginIdentity(std::string_view name) {
  return Upper(Bech32Encode("age-plugin-" + Lower(name) + "-", {}));
}

std::string PluginProgram(std::string_view name) { return "age-plugin-" + Lower(name); }

Result WrapWithPlugin(PluginChannel& channel, PluginUi& ui, const std::vector<std::string>& recipients,
                      const std::vector<std::string>& identities, const SecretBytes& file_key,
                      std::vector<Stanza>& out, std::vector<std::string>& labels) {
  out.clear();
  labels.clear();
  const std::string name = !recipients.empty() ? PluginOfRecipient(recipients[0]).value_or("")
                                               : (identities.empty() ? "" : PluginOfIdentity(identities[0]).value_or(""));
  Talk talk(channel, name);
  // Phase 1: what to wrap to, the file key, and that labels are understood.
  bool sent = true;
  for (const std::string& r : recipients) sent = sent && talk.Send("add-recipient", {r});
  for (const std::string& i : identities) sent = sent && talk.Send("add-identity", {i});
  sent = sent && talk.SendSecret("wrap-file-key", file_key.span());
  sent = sent && talk.Send("extension-labels") && talk.Send("done");
  if (!sent) return Broken(name, "it does not read");

  // Phase 2: the plugin asks, reports and sends its stanzas until done.
  bool failed = false, labelled = false;
  for (;;) {
    Stanza command;
    if (Result r = talk.Next(command); !r.ok()) return r;
    if (command.type == "done") break;
    if (talk.AnswerUser(command, ui, sent)) {
    } else if (command.type == "recipient-stanza") {
      if (command.args.size() < 2 || command.args[0] != "0") return Broken(name, "it sent a stanza for another file");
      out.push_back(Stanza{command.args[1], {command.args.begin() + 2, command.args.end()}, command.body});
      sent = talk.Reply(true);
    } else if (command.type == "labels") {
      if (labelled) return Broken(name, "it sent its labels twice");
      labelled = true;
      labels = command.args;
      std::sort(labels.begin(), labels.end());
      if (std::adjacent_find(labels.begin(), labels.end()) != labels.end()) return Broken(name, "it sent a label twice");
      sent = talk.Reply(true);
    } else if (command.type == "error") {
      ui.Error(name, AsText(command.body));
      failed = true;
      sent = talk.Reply(true);
    } else {
      sent = talk.Send("unsupported");
    }
    if (!sent) return Broken(name, "it stopped reading");
  }
  channel.Close();
  if (failed) return Result::Fail(Status::kBadKey, "plugin " + name + " could not wrap the file key");
  if (out.empty()) return Broken(name, "it wrapped the file key to nobody");
  return Result::Ok();
}

Unwrapped UnwrapWithPlugin(PluginChannel& channel, PluginUi& ui, const std::vector<std::string>& identities,
                           const std::vector<Stanza>& stanzas, SecretBytes& file_key) {
  const std::string name = identities.empty() ? "" : PluginOfIdentity(identities[0]).value_or("");
  Talk talk(channel, name);
  auto failed = [](Result r) { return Unwrapped{Unwrapped::Kind::kFailed, std::move(r)}; };
  bool sent = true;
  for (const std::string& i : identities) sent = sent && talk.Send("add-identity", {i});
  for (const Stanza& s : stanzas) {
    std::vector<std::string> args{"0", s.type};
    args.insert(args.end(), s.args.begin(), s.args.end());
    sent = sent && talk.Send("recipient-stanza", std::move(args), s.body);
  }
  sent = sent && talk.Send("done");
  if (!sent) return failed(Broken(name, "it does not read"));

  bool found = false;
  for (;;) {
    Stanza command;
    if (Result r = talk.Next(command); !r.ok()) return failed(r);
    if (command.type == "done") break;
    if (talk.AnswerUser(command, ui, sent)) {
    } else if (command.type == "file-key") {
      if (command.args.size() != 1 || command.args[0] != "0" || command.body.size() != kFileKeySize || found) {
        return failed(Broken(name, "it sent a malformed file key"));
      }
      file_key = SecretBytes(command.body.data(), command.body.size());
      Wipe(command.body.data(), command.body.size());
      found = true;
      sent = talk.Reply(true);
    } else if (command.type == "error") {
      // Another identity may still open the file: the error is shown, the
      // search goes on.
      ui.Error(name, AsText(command.body));
      sent = talk.Reply(true);
    } else {
      sent = talk.Send("unsupported");
    }
    if (!sent) return failed(Broken(name, "it stopped reading"));
  }
  channel.Close();
  return found ? Unwrapped{Unwrapped::Kind::kFileKey, Result::Ok()} : Unwrapped{};
}

Result PluginRecipient::Wrap(const SecretBytes& file_key, Stanza& out) const {
  std::vector<Stanza> all;
  std::vector<std::string> labels;
  if (Result r = WrapAll(file_key, all, labels); !r.ok()) return r;
  out = all.front();
  return Result::Ok();
}

Result PluginRecipient::WrapAll(const SecretBytes& file_key, std::vector<Stanza>& out,
                                std::vector<std::string>& labels) const {
  Result why;
  std::unique_ptr<PluginChannel> channel = launch_(name_, "recipient-v1", why);
  if (!channel) return why.ok() ? Broken(name_, "it cannot be started") : why;
  return WrapWithPlugin(*channel, ui_, recipients_, identities_, file_key, out, labels);
}

Unwrapped PluginIdentity::Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const {
  Result why;
  std::unique_ptr<PluginChannel> channel = launch_(name_, "identity-v1", why);
  if (!channel) return Unwrapped{Unwrapped::Kind::kFailed, why.ok() ? Broken(name_, "it cannot be started") : why};
  return UnwrapWithPlugin(*channel, ui_, identities_, stanzas, file_key);
}

}  // namespace vesk::age
