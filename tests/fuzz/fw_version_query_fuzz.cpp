// The update tool's answer to -fwver: a banner, the version line, or an error, or anything
// else a broken tool prints. The versions found must be the ones the expressions describe, and
// a tool error must come back whole.
#include "fuzz_support.h"
#include "process_state.h"
#include "regex_reference.h"
#include "settings/fixed_names.h"
#include "system/system_info.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string text = textThroughPipe(fwVersionCommand, std::string(asText(data, size)));
  SystemInfo info;
  if (text.size() > referenceTextBytes) {
    // Beyond what std::regex survives, only the query's own soundness is checked.
    try {
      info.queryMeFirmwareVersion(fwVersionCommand);
    } catch (const std::string& message) {
      requireCodedMessage(message, {{"1015h"}, 'v'});
    }
    return 0;
  }
  const std::optional<std::string> firmware =
      referenceGroup(R"([ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*)", text, 1);
  const std::optional<std::string> tool =
      referenceGroup(R"(.*Firmware Update Utility Version: *([0-9\.]*).*)", text, 1);
  const std::optional<std::vector<std::string>> toolError =
      referenceGroups(R"(Error ([0-9]*): ([.\s\S]*))", text);
  try {
    info.queryMeFirmwareVersion(fwVersionCommand);
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"1015h"}, 'v'});
    fuzzCheck(!firmware, "firmware version " + firmware.value_or("") + " not found");
    fuzzCheck(info.meFirmwareVersion.empty(), "a failed query stored a firmware version");
    fuzzCheck(info.fwUpdLclVersion == tool.value_or("Unknown"),
              "tool version " + info.fwUpdLclVersion + " instead of " + tool.value_or("Unknown"));
    if (toolError) {
      fuzzCheck(message == "ERROR " + (*toolError)[1] + "v: " + (*toolError)[2],
                "tool error reported as " + message);
    } else {
      fuzzCheck(message.compare(0, 11, "ERROR 1015h") == 0, "invented tool error " + message);
    }
    return 0;
  }
  fuzzCheck(firmware.has_value(), "firmware version found in output without one");
  fuzzCheck(info.meFirmwareVersion == *firmware,
            "firmware version " + info.meFirmwareVersion + " instead of " + *firmware);
  fuzzCheck(info.fwUpdLclVersion == tool.value_or("Unknown"),
            "tool version " + info.fwUpdLclVersion + " instead of " + tool.value_or("Unknown"));
  return 0;
}
