// How the flash is kept apart from the installer's console and from a deployment agent's job,
// and how the installer stays on its console while the flash runs.
#pragma once

#include <windows.h>

namespace platform {

// The creation flags of the flash's command interpreter: a process group and a hidden console
// of its own, so that no Ctrl+C, Ctrl+Break or closing of the installer's console window
// reaches it; with `breakaway`, out of the job the installer runs in, so that an agent that
// ends its job at a time limit does not end the flash with it.
DWORD flashCreationFlags(bool breakaway);

// The console handler while the flash runs: Ctrl+C, Ctrl+Break and a logoff pass the installer
// by (TRUE). A closed console window ends it at once, writing nothing more: the "flashing"
// record is already on the disk, and the flash keeps the guard. Anything else goes on to the
// next handler (FALSE).
BOOL WINAPI flashConsoleHandler(DWORD event);

}  // namespace platform
