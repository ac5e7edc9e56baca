// The INF file of the installed SOL driver, as a vendor or a broken disk may leave it. The
// version shown must be the one the DriverVer expression picks from the first line holding
// it, or "Unknown".
#include "fuzz_support.h"
#include "process_state.h"
#include "regex_reference.h"
#include "system/driver_walk.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string text(asText(data, size));
  writeWholeFile("sol.inf", text);
  std::string expected = "Unknown";
  for (const std::string& line : splitAt(text, '\n')) {
    if (line.size() > referenceTextBytes) {
      expected.clear();  // beyond what std::regex survives: not checked
      break;
    }
    if (std::optional<std::string> version =
            referenceGroup(R"(.*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*)", line, 1)) {
      expected = *version;
      break;
    }
  }
  std::string version;
  try {
    version = readInfDriverVersion("sol.inf");
  } catch (const std::string& message) {
    fuzzFailure("reading the INF file raised " + message);
  }
  fuzzCheck(expected.empty() || version == expected,
            "driver version " + version + " instead of " + expected);
  return 0;
}
