#include "system/bios_query.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "settings/fixed_names.h"
#include "settings/text_case.h"
#include "system/command_runner.h"
#include "system/tool_output_scan.h"

namespace {

std::string& storedBiosVersion() {
  static std::string version;
  return version;
}

}  // namespace

void queryBiosVersion() {
  std::string output = readCommandOutput(
      biosVersionCommand,
      "Retrieving system BIOS version.\nRunning command: " + biosVersionCommand + "\n");
  printVerbose(output, "default");
  // A header line of letters only never holds a version.
  std::optional<std::string> version = findBiosVersion(output);
  if (!version) raiseError("2000s");
  printVerbose("BIOS version: " + *version + "\n\n", "default");
  storedBiosVersion() = toLower(*version);
}

std::string currentBiosVersion() { return storedBiosVersion(); }

void clearCurrentBiosVersion() { storedBiosVersion().clear(); }
