// vesk-sfx: the program part of a self-decrypting file. Started as such a
// file it says what it carries, and decrypts or separates that payload; it
// does nothing else, and needs nothing beyond the C and C++ runtimes and zlib.
#include <CLI/CLI.hpp>

#include "cli/payload_commands.h"
#include "cli/signals.h"

int main(int argc, char** argv) {
  // Before any thread exists: every command cancels cleanly on a signal.
  vesk::cli::WatchSignals();
  if (argc == 1) {
    if (auto shown = vesk::cli::DescribeOwnPayload(argv[0])) return *shown;
  }
  CLI::App app{"Vesk 文件加密 — 自解密文件的程序部分\n解密或者分离本文件附带的加密文件。", "vesk-sfx"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "vesk-sfx " VESK_VERSION_TEXT);
  vesk::cli::PayloadCommand commands(app, "vesk-sfx", false);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return commands.Run();
}
