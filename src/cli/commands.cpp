#include "cli/commands.h"

#include "cli/output_name.h"

namespace vesk::cli {

std::optional<std::string> OutputFolderOf(const Options& o) {
  return o.target ? ExistingFolderOf(*o.target) : std::nullopt;
}

}  // namespace vesk::cli
