// The age plugins as the file engines use them: "age-plugin-NAME" started
// from PATH with its standard input and output as the conversation, and
// what it asks of its user put to the run's prompter.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/prompter.h"
#include "crypto/age/plugin.h"

namespace vesk::age_files {

// Starts plugins found on PATH (plugin names only: never a path).
age::PluginLauncher ProcessLauncher();

// The program of plugin `name` on PATH, or empty.
std::string FindPlugin(const std::string& name);

// A plugin's messages, confirmations and requests through `prompter`.
class PrompterPluginUi : public age::PluginUi {
 public:
  explicit PrompterPluginUi(Prompter& prompter) : prompter_(prompter) {}
  bool Message(const std::string& text) override;
  std::optional<bool> Confirm(const std::string& text, const std::string& yes, const std::string& no) override;
  std::optional<age::SecretBytes> Request(const std::string& text, bool secret) override;
  void Error(const std::string& plugin, const std::string& text) override;

 private:
  Prompter& prompter_;
};

// Plugin keys grouped by their plugin's name, in the order given; keys of
// no plugin are left out.
std::map<std::string, std::vector<std::string>> ByPlugin(const std::vector<std::string>& keys, bool identities);

// Takes the plugin identities ("AGE-PLUGIN-...") out of an identity file's
// text: they go to `plugins`, and their lines are left empty so that the
// other lines keep their numbers.
std::string WithoutPluginIdentities(std::string_view text, std::vector<std::string>& plugins);
// The same for the plugin recipients ("age1NAME1...") of a recipients text.
std::string WithoutPluginRecipients(std::string_view text, std::vector<std::string>& plugins);

}  // namespace vesk::age_files
