#include "app/error_catalogue.h"
#include "console/messages.h"
#include "system/command_runner.h"
#include "system/pattern.h"
#include "system/system_info.h"

namespace {

// Far beyond the few seconds the tool needs, yet an unattended run never waits forever.
constexpr platform::TimeLimit fwVersionTimeLimit = std::chrono::seconds(120);

}  // namespace

void SystemInfo::queryMeFirmwareVersion(std::string command) {
  static const Pattern toolVersionPattern =
      compilePattern(".*Firmware Update Utility Version: *([0-9\\.]*).*");
  static const Pattern firmwareVersionPattern =
      compilePattern("[ \\t]*FW Version[\\:]*[ \\t]*([0-9\\.]+)[ \\t]*");
  // The error's text runs to the end of the whole output, line ends included.
  static const Pattern toolErrorPattern = compilePattern("Error ([0-9]*): ([.\\s\\S]*)");

  CommandOutput run =
      readCommandOutput(command,
                        "Retrieving system ME firmware version.\nRunning command: FwUpdLcl64.exe "
                        "-fwver\n",
                        fwVersionTimeLimit);
  if (!run.started) raiseError("1000h");
  const std::string& output = run.text;
  printVerbose(output + "\n", "default");
  fwUpdLclVersion = "Unknown";
  PatternMatch match;
  if (searchPattern(toolVersionPattern, output, match) && match.groups[1].matched) {
    fwUpdLclVersion = groupText(output, match, 1);
    printVerbose("FwUpdLcl version found: " + fwUpdLclVersion + "\n", "default");
  }
  // A tool that hung may have printed anything before; what it says cannot be relied on.
  if (run.timedOut) raiseError("1015h");
  if (searchPattern(firmwareVersionPattern, output, match) && match.groups[1].matched) {
    meFirmwareVersion = groupText(output, match, 1);
    printVerbose("ME firmware version found: " + meFirmwareVersion + "\n\n", "default");
    return;
  }
  if (searchPattern(toolErrorPattern, output, match) && match.groups[1].matched) {
    throw "ERROR " + groupText(output, match, 1) + "v: " + groupText(output, match, 2);
  }
  raiseError("1015h");
}
