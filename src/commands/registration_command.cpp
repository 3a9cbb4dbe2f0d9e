#include "commands/registration_command.h"

#include <exception>

namespace vesk::commands {
namespace {

shell::Locations LocationsOf(const RegistrationRequest& request) {
  return request.locations ? *request.locations : shell::Locations::ForUser();
}

shell::Result Unregister(const RegistrationRequest& request) {
  shell::Result result;
  try {
    result = shell::RemoveAll(LocationsOf(request));
  } catch (const std::exception& e) {
    result.Add(shell::Place::kFolders, shell::Outcome::kFailed, {}, e.what());
  }
  if (!request.remove_settings) return result;
  try {
    request.remove_settings();
    result.Add(shell::Place::kSettings, shell::Outcome::kRemoved);
  } catch (const std::exception& e) {
    result.Add(shell::Place::kSettings, shell::Outcome::kFailed, {}, e.what());
  }
  return result;
}

}  // namespace

shell::Result RegistrationCommand::Run(const RegistrationRequest& request) {
  switch (request.action) {
    case shell::Action::kAssociate: return shell::RegisterAssociation(LocationsOf(request), request.program);
    case shell::Action::kContextMenu:
      return shell::AddContextMenu(LocationsOf(request), request.program,
                                   request.desktop.value_or(shell::Desktop::OfThisComputer()));
    case shell::Action::kUnregister: break;
  }
  return Unregister(request);
}

}  // namespace vesk::commands
