// wmic's answer to the BIOS version query, whatever it prints. The version found must be the
// one the expression describes, stored lower-cased; without one the query must say so.
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "regex_reference.h"
#include "settings/fixed_names.h"
#include "settings/text_case.h"
#include "system/bios_query.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string output(asText(data, size));
  const std::string text = textThroughPipe(biosVersionCommand, output);
  // Beyond what std::regex survives, only the query's own soundness is checked.
  const bool known = text.size() <= referenceTextBytes;
  const std::optional<std::string> expected =
      known ? referenceGroup(R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)", text, 1)
            : std::nullopt;
  try {
    queryBiosVersion();
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"2000s"}});
    fuzzCheck(!known || !expected, "no BIOS version found where there is " + expected.value_or(""));
    fuzzCheck(currentBiosVersion().empty(), "a failed query stored a version");
    return 0;
  }
  if (!known) return 0;
  fuzzCheck(expected.has_value(), "BIOS version found in output without one");
  fuzzCheck(currentBiosVersion() == toLower(*expected),
            "BIOS version " + currentBiosVersion() + " instead of " + *expected);
  return 0;
}
