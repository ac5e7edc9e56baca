#include "checks/version_compare.h"

#include "app/error_catalogue.h"
#include "checks/number_text.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "system/system_info.h"

std::optional<int> readVersionField(const std::string& version, int n) {
  std::string rest = version + ".";
  for (int i = 0; i < n; ++i) {
    std::size_t dot = rest.find('.');
    if (dot == std::string::npos) return std::nullopt;
    rest = rest.substr(dot + 1);
  }
  return leadingNumberValue(rest.substr(0, rest.find('.')));
}

int versionField(const std::string& version, int n) {
  std::optional<int> value = readVersionField(version, n);
  if (!value) raiseError("1018h", {version, std::to_string(n + 1)});
  return *value;
}

bool isNewerVersion(const std::string& a, const std::string& b) {
  for (int k = 0; k < 4; ++k) {
    int fieldA = versionField(a, k);
    int fieldB = versionField(b, k);
    if (fieldA != fieldB) return fieldA > fieldB;
  }
  return false;
}

void checkFirmwareIsNewer(const SystemInfo& systemInfo, InputProfile profile) {
  const std::string& installed = systemInfo.meFirmwareVersion;
  const std::string& kitbox = profile.firmwareVersion;
  printVerbose("Checking if kitbox's firmware version is newer than the system's " + installed +
                   " vs " + kitbox + "\n",
               "default");
  bool upgradable = isNewerVersion(kitbox, installed) || (kitbox == installed && sameVersionFlag());
  if (upgradable) {
    printVerbose("ME Firmware is upgradable.\n\n", "default");
    return;
  }
  if (kitbox == installed) raiseError("3001n", {installed});
  raiseError("3000n", {installed, kitbox});
}
