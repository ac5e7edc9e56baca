// Shared between the Windows platform's own files: the guard, once claimed, is handed to the
// flash when it starts.
#pragma once

#include <windows.h>

namespace platform {

// The handle that keeps the guard object alive, or nothing when this process holds none. It
// is not inheritable: it is made so only for the moment a flash is started.
HANDLE claimedGuardHandle();

}  // namespace platform
