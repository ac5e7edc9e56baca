// Shared between the POSIX platform's own files: the installer lock, once claimed, is handed to
// the flash when it starts.
#pragma once

namespace platform {

// The open descriptor that holds the installer lock, or -1 when this process holds none. It is
// closed on exec: only a flash gets a copy that is not.
int claimedLockDescriptor();

}  // namespace platform
