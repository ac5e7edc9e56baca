#include "system/wmic_layout.h"

#include <algorithm>

const char* const wmicBiosVersionHeader = "SMBIOSBIOSVersion";

namespace {

const char* const wmicLineEnd = "\r\r\n";

std::string cell(const std::string& text, std::size_t width) {
  return text + std::string(width - text.size(), ' ') + wmicLineEnd;
}

}  // namespace

std::string wmicBiosVersionLayout(const std::string& version) {
  const std::string header = wmicBiosVersionHeader;
  std::size_t width = std::max(header.size(), version.size()) + 2;
  return cell(header, width) + cell(version, width) + wmicLineEnd;
}
