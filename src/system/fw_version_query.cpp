#include "app/error_catalogue.h"
#include "console/messages.h"
#include "system/command_runner.h"
#include "system/system_info.h"
#include "system/tool_output_scan.h"
#include "system/tool_stage.h"

namespace {

// Far beyond the few seconds the tool needs, yet an unattended run never waits forever.
constexpr platform::TimeLimit fwVersionTimeLimit = std::chrono::seconds(120);

}  // namespace

void SystemInfo::queryMeFirmwareVersion(std::string command) {
  CommandOutput run =
      readCommandOutput(command,
                        "Retrieving system ME firmware version.\nRunning command: FwUpdLcl64.exe "
                        "-fwver\n",
                        fwVersionTimeLimit, stageFolder());
  if (!run.started) raiseError("1000h");
  const std::string& output = run.text;
  printVerbose(output + "\n", "default");
  fwUpdLclVersion = "Unknown";
  if (std::optional<TextMatch> tool =
          matchPhraseValue(output, "Firmware Update Utility Version:")) {
    fwUpdLclVersion = spanText(output, tool->group1);
    printVerbose("FwUpdLcl version found: " + fwUpdLclVersion + "\n", "default");
  }
  // A tool that hung may have printed anything before; what it says cannot be relied on.
  if (run.timedOut) raiseError("1015h");
  if (std::optional<TextMatch> firmware = matchFirmwareVersion(output)) {
    meFirmwareVersion = spanText(output, firmware->group1);
    printVerbose("ME firmware version found: " + meFirmwareVersion + "\n\n", "default");
    return;
  }
  // The error's text runs to the end of the whole output, line ends included.
  if (std::optional<TextMatch> error = matchToolError(output)) {
    throw "ERROR " + spanText(output, error->group1) + "v: " + spanText(output, error->group2);
  }
  raiseError("1015h");
}
