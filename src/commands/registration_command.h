// The desktop registration as a command: the ".jmz" file association, the
// file managers' context-menu items, or the removal of both with the
// settings. Both front ends build the request (which program, which
// folders) and present the typed per-place result their own way.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "desktop/shell_integration.h"

namespace vesk::commands {

struct RegistrationRequest {
  shell::Action action = shell::Action::kAssociate;
  // The program the entries start, an absolute path (associate and context
  // menu only).
  std::string program;
  // The folders the entries go to; the user's (shell::Locations::ForUser)
  // when unset.
  std::optional<shell::Locations> locations;
  // What the file managers can load (context menu only); this computer's
  // when unset.
  std::optional<shell::Desktop> desktop;
  // Removes the settings (unregister only); throws when it cannot. Empty:
  // there are none to remove.
  std::function<void()> remove_settings;
};

class RegistrationCommand {
 public:
  // Associates or adds the context menu as asked (throws when the user's
  // folders are unknown). Unregistering removes the entries and then the
  // settings, even when the entries could not be removed; a failure of
  // either is a step of the result.
  shell::Result Run(const RegistrationRequest& request);
};

}  // namespace vesk::commands
