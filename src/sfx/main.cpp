// vesk-sfx: the program part of a self-decrypting file. Started as such a
// file it says what it carries, and decrypts or separates that payload; it
// does nothing else, and needs nothing beyond the C and C++ runtimes and zlib.
#include <CLI/CLI.hpp>

#include "cli/language_option.h"
#include "cli/payload_commands.h"
#include "cli/signals.h"
#include "platform/core_dumps.h"
#include "platform/embedded_catalogue.h"
#include "cli/texts.h"

int main(int argc, char** argv) {
  // Before any key is read: no core file or debugger can see one.
  vesk::KeepSecretsOutOfDumps();
  // Before any thread exists: every command cancels cleanly on a signal.
  vesk::cli::WatchSignals();
  // The catalogue travels inside the program: no installation is needed.
  vesk::UseLanguage(vesk::cli::TakeLanguageOption(argc, argv), vesk::EmbeddedCatalogue());
  if (argc == 1) {
    if (auto shown = vesk::cli::DescribeOwnPayload(argv[0])) return *shown;
  }
  CLI::App app{vesk::cli::text::kSfxDescription, "vesk-sfx"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "vesk-sfx " VESK_VERSION_TEXT);
  vesk::cli::AddLanguageOption(app);
  vesk::cli::PayloadCommand commands(app, "vesk-sfx", false);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return commands.Run();
}
