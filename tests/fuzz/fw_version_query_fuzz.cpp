// The update tool's answer to -fwver: a banner, the version line, or an error, or anything
// else a broken tool prints. The versions found must be the ones the expressions describe, and
// a tool error must come back whole.
#include "expected_matches.h"
#include "fuzz_support.h"
#include "process_state.h"
#include "settings/fixed_names.h"
#include "system/system_info.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string text = textThroughPipe(fwVersionCommand, std::string(asText(data, size)));
  const std::optional<std::string> firmware = expectedFirmwareVersion(text);
  const std::optional<std::string> tool =
      expectedPhraseValue(text, "Firmware Update Utility Version:");
  const std::optional<ExpectedToolError> toolError = expectedToolError(text);
  SystemInfo info;
  try {
    info.queryMeFirmwareVersion(fwVersionCommand);
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"1015h"}, 'v'});
    fuzzCheck(!firmware, "firmware version " + firmware.value_or("") + " not found");
    fuzzCheck(info.meFirmwareVersion.empty(), "a failed query stored a firmware version");
    fuzzCheck(info.fwUpdLclVersion == tool.value_or("Unknown"),
              "tool version " + info.fwUpdLclVersion + " instead of " + tool.value_or("Unknown"));
    if (toolError) {
      fuzzCheck(message == "ERROR " + toolError->number + "v: " + toolError->text,
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
