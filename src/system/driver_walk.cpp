#include "system/driver_walk.h"

#include "console/messages.h"
#include "platform/platform.h"
#include "system/tool_output_scan.h"

std::string narrowText(const std::u16string& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (char16_t unit : text) {
    narrow += static_cast<char>(unit & 0xFF);
  }
  return narrow;
}

namespace {

// Looks at one compatible driver. Both tests run on every driver, and a later SOL driver
// replaces an earlier one.
void checkDriver(const std::string& description, const std::string& infPath, std::string& solInf) {
  printSuperVerbose(description + "\n", "default");
  if (matchLineWith(description, "SOL")) {
    printVerbose("Found SOL driver\n", "default");
    solInf = infPath;
    printVerbose("Inf location " + solInf + "\n", "default");
  }
  if (matchLineWith(description, "DAL")) printVerbose("Found DAL driver\n", "default");
}

}  // namespace

std::string findSolDriverInf() {
  printVerbose("Interrogating system to find SOL driver\n", "default");
  std::string result = "error";
  platform::DeviceDrivers devices;
  for (unsigned device = 0; devices.selectDevice(device); ++device) {
    // One device without a driver list says nothing about the others, nor about a SOL driver
    // already found, so the walk goes on.
    if (!devices.buildDriverList()) continue;
    std::u16string description;
    for (unsigned driver = 0; devices.selectDriver(driver, description); ++driver) {
      // A driver whose details cannot be read has no INF file name worth reporting.
      std::u16string infPath;
      if (!devices.driverInfPath(infPath)) continue;
      checkDriver(narrowText(description), narrowText(infPath), result);
    }
  }
  return result;
}

std::string readInfDriverVersion(std::string infPath) {
  std::string result = "Unknown";
  platform::InputFile file(infPath, platform::FileMode::text);
  if (!file.isOpen()) return result;
  printVerbose(infPath + " opened\n", "default");
  std::string line;
  while (file.readLine(line)) {
    if (std::optional<TextMatch> found = matchDriverVersion(line)) {
      result = spanText(line, found->group1);
      printVerbose("SOL version found " + result + "\n", "default");
      break;
    }
  }
  return result;
}
