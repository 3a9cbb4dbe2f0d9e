// Keeping keys out of reach of other processes and of core files.
#pragma once

namespace vesk {

// Makes the process undumpable (no core file, no debugger attaching as the
// same user, /proc/<pid>/mem and the like closed to other processes) and sets
// its core file size limit to 0, for itself and the programs it starts. The
// programs do this at start-up, before any key is read. Best effort: a
// failure leaves the process as it was.
void KeepSecretsOutOfDumps();

}  // namespace vesk
