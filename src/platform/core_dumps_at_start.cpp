// Linked into a program whose main cannot call KeepSecretsOutOfDumps itself
// (the window): runs it while the program starts, before main.
#include "platform/core_dumps.h"

namespace {

const bool kSecretsKeptOutOfDumps = (vesk::KeepSecretsOutOfDumps(), true);

}  // namespace
