#include "cli/language_option.h"

#include <optional>
#include <string>
#include <string_view>

#include "cli/texts.h"

namespace vesk::cli {

Language TakeLanguageOption(int& argc, char** argv) {
  std::optional<Language> chosen;
  int kept = 1;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-' || arg == "-" || arg == "--") break;  // the subcommand or an operand
    std::optional<Language> named;
    int used = 1;
    if (arg == "--lang" && i + 1 < argc) {
      named = LanguageNamed(argv[i + 1]);
      used = 2;
    } else if (arg.starts_with("--lang=")) {
      named = LanguageNamed(arg.substr(7));
    }
    if (!named) {
      argv[kept++] = argv[i];
      continue;
    }
    chosen = named;
    i += used - 1;
  }
  for (; i < argc; ++i) argv[kept++] = argv[i];
  argv[kept] = nullptr;
  argc = kept;
  return chosen ? *chosen : LanguageFromEnvironment();
}

void AddLanguageOption(CLI::App& app) {
  // Taken out before parsing when valid: left only to be listed and refused.
  static std::string refused;
  app.add_option("--lang", refused, text::kLangHelp)->check(CLI::IsMember({"zh", "en"}));
}

}  // namespace vesk::cli
