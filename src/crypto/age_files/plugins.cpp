#include "crypto/age_files/plugins.h"

#include <memory>

#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "platform/process.h"

namespace vesk::age_files {
namespace {

// A running plugin: our stanzas to its standard input, its replies from
// its standard output.
class ProcessChannel : public age::PluginChannel {
 public:
  bool Start(const std::string& program, std::string_view state_machine) {
    return process_.Start({program, "--age-plugin=" + std::string(state_machine)});
  }
  bool Send(std::string_view bytes) override { return process_.Write(bytes); }
  age::Source& Replies() override { return replies_; }
  void Close() override { process_.Wait(); }

 private:
  PipedProcess process_;
  age::CallbackSource replies_{[this](uint8_t* buf, std::size_t n) { return process_.Read(buf, n); }};
};

// Replaces each line for which `take` holds with an empty one, handing it over.
template <class Take>
std::string WithoutLines(std::string_view text, std::vector<std::string>& taken, Take take) {
  std::string kept;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::string_view bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.remove_suffix(1);
    if (take(bare)) {
      taken.emplace_back(bare);
    } else {
      kept.append(line);
    }
    if (end != std::string_view::npos) kept += '\n';
    text = rest;
  }
  return kept;
}

}  // namespace

std::string FindPlugin(const std::string& name) {
  if (!age::IsPluginName(name)) return {};
  return FindProgramOnPath(age::PluginProgram(name)).value_or("");
}

age::PluginLauncher ProcessLauncher() {
  return [](const std::string& name, std::string_view state_machine, age::Result& why) -> std::unique_ptr<age::PluginChannel> {
    const std::string program = FindPlugin(name);
    auto channel = std::make_unique<ProcessChannel>();
    if (program.empty() || !channel->Start(program, state_machine)) {
      why = age::Result::Fail(age::Status::kBadKey, text::PluginMissing(age::PluginProgram(name)));
      return nullptr;
    }
    return channel;
  };
}

bool PrompterPluginUi::Message(const std::string& text) {
  prompter_.ReportNow(text);
  return true;
}

std::optional<bool> PrompterPluginUi::Confirm(const std::string& text, const std::string& yes, const std::string& no) {
  const bool chosen = prompter_.AskYesNo(text::PluginConfirm(text, yes, no), "");
  if (!chosen && no.empty()) return std::nullopt;  // only "yes" was offered
  return chosen;
}

std::optional<age::SecretBytes> PrompterPluginUi::Request(const std::string& text, bool secret) {
  std::optional<std::string> typed = prompter_.AskText(text, secret);
  if (!typed) return std::nullopt;
  return TakeSecret(*typed);
}

void PrompterPluginUi::Error(const std::string& plugin, const std::string& text) {
  prompter_.ReportMessage(text::PluginError(plugin, text));
}

std::map<std::string, std::vector<std::string>> ByPlugin(const std::vector<std::string>& keys, bool identities) {
  std::map<std::string, std::vector<std::string>> groups;
  for (const std::string& key : keys) {
    const auto name = identities ? age::PluginOfIdentity(key) : age::PluginOfRecipient(key);
    if (name) groups[*name].push_back(key);
  }
  return groups;
}

std::string WithoutPluginIdentities(std::string_view text, std::vector<std::string>& plugins) {
  return WithoutLines(text, plugins, [](std::string_view line) { return age::PluginOfIdentity(line).has_value(); });
}

std::string WithoutPluginRecipients(std::string_view text, std::vector<std::string>& plugins) {
  return WithoutLines(text, plugins, [](std::string_view line) { return age::PluginOfRecipient(line).has_value(); });
}

}  // namespace vesk::age_files
