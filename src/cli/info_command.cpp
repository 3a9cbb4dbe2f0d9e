#include "cli/info_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "cli/exit_status.h"
#include "cli/texts.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/texts.h"

namespace vesk::cli {
namespace {

// A stanza type as JSON text: printable ASCII (a stanza argument can hold
// nothing else), with its quotes and backslashes escaped.
std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

InspectCommand::InspectCommand(CLI::App& app) {
  command_ = app.add_subcommand("inspect", text::kInspectHelp);
  command_->add_option("FILE", file_, text::kInspectFileHelp)->required();
  command_->add_flag("--json", json_, text::kInspectJsonHelp);
}

bool InspectCommand::Parsed() const { return command_->parsed(); }

int InspectCommand::Run() {
  age::FileInfo info;
  const age::Result r = age_files::InspectFile(file_, info);
  if (!r.ok()) {
    std::cerr << (r.status == age::Status::kHeaderTooLarge ? age_files::text::InspectTooLarge(file_)
                                                            : age_files::text::InspectRefused(file_)) << '\n';
    return kExitFailed;
  }
  std::ostringstream out;
  if (json_) {
    out << "{\"armored\": " << (info.armored ? "true" : "false") << ", \"stanza_types\": [";
    for (std::size_t i = 0; i < info.types.size(); ++i) out << (i > 0 ? ", " : "") << JsonString(info.types[i]);
    out << "], \"post_quantum\": " << (info.post_quantum ? "true" : "false")
        << ", \"passphrase\": " << (info.passphrase ? "true" : "false");
    if (info.passphrase) out << ", \"work_factor\": " << info.scrypt_log_n;
    out << ", \"header_size\": " << info.header_size << ", \"payload_size\": " << info.payload_size
        << ", \"plaintext_size\": " << info.plaintext_size << "}\n";
  } else {
    out << age_files::InspectionText(info);
  }
  std::cout << out.str() << std::flush;
  return std::cout ? kExitDone : kExitFailed;
}

}  // namespace vesk::cli
