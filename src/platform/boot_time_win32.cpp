#include <windows.h>

#include <chrono>

#include "platform/platform.h"

namespace platform {

std::optional<std::time_t> bootTime() {
  // The tick count runs since the start, sleep and hibernation included.
  auto sinceBoot = std::chrono::milliseconds(GetTickCount64());
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  return now - static_cast<std::time_t>(
                   std::chrono::duration_cast<std::chrono::seconds>(sinceBoot).count());
}

}  // namespace platform
