// The bytes of the event log's message file, mefwupdate-messages.dll: a DLL of resources only,
// whose message table gives the text of each event ID (cmake/event_messages.cmake builds it and
// compiles its bytes into the Windows program).
#pragma once

#include <cstddef>

namespace platform {

extern const unsigned char eventMessageFile[];
extern const std::size_t eventMessageFileSize;

}  // namespace platform
