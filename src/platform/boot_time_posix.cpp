#include <time.h>

#include <chrono>
#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

// "YYYY-MM-DDTHH:MM:SSZ", as the run records write their times.
std::optional<std::time_t> utcTime(const std::string& text) {
  std::tm parts{};
  char zone = 0;
  int end = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone, &end) != 7 ||
      zone != 'Z' || static_cast<std::size_t>(end) != text.size()) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return timegm(&parts);
}

}  // namespace

std::optional<std::time_t> bootTime() {
  if (std::optional<std::string> given = environmentVariable("MEFW_BOOT_TIME")) {
    return utcTime(*given);
  }
  timespec sinceBoot{};
  if (clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0) return std::nullopt;
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  return now - sinceBoot.tv_sec;
}

}  // namespace platform
