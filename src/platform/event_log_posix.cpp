// POSIX systems have no Application log: no event is written, and that is no failure.
#include "platform/platform.h"

namespace platform {

std::string registerEventSource(const std::string&) { return ""; }

std::string reportEvent(EventLevel, unsigned, const std::vector<std::string>&) { return ""; }

}  // namespace platform
