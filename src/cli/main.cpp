// vesk-cli: the registry of its subcommands. Each subcommand is a class of
// its own (cli_command.h) that builds its request from its arguments and
// returns the exit status.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/age_command.h"
#include "cli/desktop_command.h"
#include "cli/exit_status.h"
#include "cli/file_command.h"
#include "cli/info_command.h"
#include "cli/language_option.h"
#include "cli/keyless_command.h"
#include "cli/payload_commands.h"
#include "cli/sfx_command.h"
#include "cli/shred_command.h"
#include "cli/signals.h"
#include "platform/core_dumps.h"
#include "cli/texts.h"
#include "cli/zak_command.h"

namespace {

using vesk::cli::CliCommand;
using vesk::cli::CommandEntry;

// Every subcommand, in the order of the help.
std::vector<CommandEntry> Registry() {
  std::vector<CommandEntry> entries;
  for (const auto& [name, command] : vesk::cli::FileCommand::Names()) {
    const bool zak = command == vesk::cli::Command::kCompress || command == vesk::cli::Command::kDecompress ||
                     command == vesk::cli::Command::kUnpack;
    entries.push_back({{name}, [command = command, zak](CLI::App& app) -> std::unique_ptr<CliCommand> {
                         if (zak) return std::make_unique<vesk::cli::ZakCommand>(app, command);
                         if (command == vesk::cli::Command::kEncrypt) return std::make_unique<vesk::cli::EncryptCommand>(app);
                         return std::make_unique<vesk::cli::DecryptCommand>(app);
                       }});
    // The key-less commands keep their place in the help, after decompress.
    if (name == "decompress") {
      entries.push_back({{"keyless-encrypt"}, [](CLI::App& app) { return std::make_unique<vesk::cli::KeylessCommand>(app, true); }});
      entries.push_back({{"keyless-decrypt"}, [](CLI::App& app) { return std::make_unique<vesk::cli::KeylessCommand>(app, false); }});
    }
  }
  entries.push_back({{"shred"}, [](CLI::App& app) { return std::make_unique<vesk::cli::ShredCommand>(app); }});
  entries.push_back({{"associate", "context-menu", "unregister"},
                     [](CLI::App& app) { return std::make_unique<vesk::cli::DesktopCommand>(app); }});
  entries.push_back({{"make-sfx"}, [](CLI::App& app) { return std::make_unique<vesk::cli::MakeSfxCommand>(app); }});
  entries.push_back({{"sfx-info", "self-decrypt", "separate"}, [](CLI::App& app) {
                       return std::make_unique<vesk::cli::PayloadCommand>(app, "vesk-cli", true);
                     }});
  entries.push_back({{"keygen"}, [](CLI::App& app) { return std::make_unique<vesk::cli::KeygenCommand>(app); }});
  entries.push_back({{"inspect"}, [](CLI::App& app) { return std::make_unique<vesk::cli::InspectCommand>(app); }});
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any key is read: no core file or debugger can see one.
  vesk::KeepSecretsOutOfDumps();
  // Before any thread exists: every subcommand cancels cleanly on a signal.
  vesk::cli::WatchSignals();
  vesk::UseLanguageFromFile(vesk::cli::TakeLanguageOption(argc, argv), vesk::EnglishCataloguePath());
  if (argc == 1) {
    if (auto shown = vesk::cli::DescribeOwnPayload(argv[0])) return *shown;
  }
  CLI::App app{vesk::cli::text::kCliDescription, "vesk-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "vesk-cli 2.8.63");
  vesk::cli::AddLanguageOption(app);

  // Building the parser of every subcommand costs more than the whole run
  // of a small file, so a command line that starts with a subcommand's name
  // gets that subcommand only; anything else (help, --version, a mistake)
  // gets them all.
  const std::vector<CommandEntry> registry = Registry();
  const std::string_view first = argc > 1 ? argv[1] : "";
  const bool named = std::any_of(registry.begin(), registry.end(), [&](const CommandEntry& e) {
    return std::find(e.names.begin(), e.names.end(), first) != e.names.end();
  });
  std::vector<std::unique_ptr<CliCommand>> commands;
  for (const CommandEntry& entry : registry) {
    if (named && std::find(entry.names.begin(), entry.names.end(), first) == entry.names.end()) continue;
    commands.push_back(entry.make(app));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? vesk::cli::kExitDone : vesk::cli::kExitUsage;
  }
  for (const auto& command : commands) {
    if (command->Parsed()) return command->Run();
  }
  return vesk::cli::kExitUsage;
}
