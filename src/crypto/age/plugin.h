// Recipients and identities kept by another program, an age plugin: the
// recipient "age1NAME1..." and the identity "AGE-PLUGIN-NAME-1..." are
// handled by the program "age-plugin-NAME", which wraps and unwraps file
// keys through the recipient-v1 and identity-v1 state machines of the
// age plugin protocol (stanzas over its standard input and output).
//
// The conversation is a pure exchange of bytes: it runs over any
// PluginChannel (a process in use, memory in tests), and what the plugin
// asks of its user (a message, a confirmation, a PIN) goes to a PluginUi.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/age/header.h"
#include "crypto/age/io.h"
#include "crypto/age/keys.h"
#include "crypto/age/result.h"
#include "crypto/age/secret.h"

namespace vesk::age {

// A plugin's name: letters, digits and "-_.+", never a path: no "/" can
// appear, and no name of dots alone.
bool IsPluginName(std::string_view name);

// The plugin (its name, lowercase) a recipient "age1NAME1..." or an
// identity "AGE-PLUGIN-NAME-1..." belongs to; nullopt when the text is no
// well-formed plugin key. Native keys ("age1..." of X25519) are not.
std::optional<std::string> PluginOfRecipient(std::string_view text);
std::optional<std::string> PluginOfIdentity(std::string_view text);

// The identity that has the plugin use its own default identity ("-j NAME").
std::string DefaultPluginIdentity(std::string_view name);

// The program a plugin runs as.
std::string PluginProgram(std::string_view name);

// What a plugin asks of its user; answered on a terminal or in a window.
class PluginUi {
 public:
  virtual ~PluginUi() = default;
  // Shows a message; false when there is no one to show it to.
  virtual bool Message(const std::string& text) = 0;
  // Asks to choose `yes` or `no` (`no` empty: only `yes` is offered);
  // nullopt when it cannot be asked.
  virtual std::optional<bool> Confirm(const std::string& text, const std::string& yes, const std::string& no) = 0;
  // Asks for a value (a secret one without echo); nullopt when it cannot.
  virtual std::optional<SecretBytes> Request(const std::string& text, bool secret) = 0;
  // Shows an error the plugin reports (about a key of it, or its own).
  virtual void Error(const std::string& plugin, const std::string& text) = 0;
};

// The two directions of a conversation with a plugin.
class PluginChannel {
 public:
  virtual ~PluginChannel() = default;
  virtual bool Send(std::string_view bytes) = 0;
  virtual Source& Replies() = 0;
  // Ends the conversation once it is done (the process may be waited for).
  virtual void Close() {}
};

// Starts plugin `name` with "--age-plugin=STATE_MACHINE"; nullptr (and
// `why`) when it cannot.
using PluginLauncher =
    std::function<std::unique_ptr<PluginChannel>(const std::string& name, std::string_view state_machine, Result& why)>;

// recipient-v1: wraps `file_key` to every one of `recipients` and
// `identities` (all of one plugin). The plugin's stanzas go to `out`, its
// labels to `labels`. A plugin's error is kBadKey with its text.
Result WrapWithPlugin(PluginChannel& channel, PluginUi& ui, const std::vector<std::string>& recipients,
                      const std::vector<std::string>& identities, const SecretBytes& file_key,
                      std::vector<Stanza>& out, std::vector<std::string>& labels);

// identity-v1: offers `stanzas` (one file's) to the plugin with
// `identities`; the file key when it unwraps one.
Unwrapped UnwrapWithPlugin(PluginChannel& channel, PluginUi& ui, const std::vector<std::string>& identities,
                           const std::vector<Stanza>& stanzas, SecretBytes& file_key);

// Every recipient and identity of one plugin, wrapped to in one run of it.
class PluginRecipient : public Recipient {
 public:
  PluginRecipient(std::string name, std::vector<std::string> recipients, std::vector<std::string> identities,
                  PluginLauncher launch, PluginUi& ui)
      : name_(std::move(name)),
        recipients_(std::move(recipients)),
        identities_(std::move(identities)),
        launch_(std::move(launch)),
        ui_(ui) {}
  Result Wrap(const SecretBytes& file_key, Stanza& out) const override;
  Result WrapAll(const SecretBytes& file_key, std::vector<Stanza>& out, std::vector<std::string>& labels) const override;

 private:
  std::string name_;
  std::vector<std::string> recipients_;
  std::vector<std::string> identities_;
  PluginLauncher launch_;
  PluginUi& ui_;
};

// Every identity of one plugin, tried in one run of it.
class PluginIdentity : public Identity {
 public:
  PluginIdentity(std::string name, std::vector<std::string> identities, PluginLauncher launch, PluginUi& ui)
      : name_(std::move(name)), identities_(std::move(identities)), launch_(std::move(launch)), ui_(ui) {}
  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;

 private:
  std::string name_;
  std::vector<std::string> identities_;
  PluginLauncher launch_;
  PluginUi& ui_;
};

}  // namespace vesk::age
