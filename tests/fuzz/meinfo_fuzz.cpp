// MEInfo's verbose report, as one line handed to the line parser and as a whole report read
// through the pipe. Each line may fill only the first field whose expression it matches, with
// the digits and dots the expression captures.
#include <array>
#include <filesystem>

#include "expected_matches.h"
#include "fuzz_support.h"
#include "process_state.h"
#include "system/system_info.h"

namespace {

const std::string meInfoCommand = "MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe -verbose";

struct Field {
  const char* phrase;
  std::string SystemInfo::*value;
};

// In the order the parser tries them.
const std::array<Field, 5> fields = {{
    {"MEBx Version", &SystemInfo::mebxVersion},
    {"LMS Version", &SystemInfo::lmsVersion},
    {"MEI Driver Version", &SystemInfo::meiVersion},
    {"MEInfo Version:", &SystemInfo::meInfoVersion},
    {"PMC Version", &SystemInfo::pmcVersion},
}};

void expectLine(SystemInfo& expected, const std::string& line) {
  for (const Field& field : fields) {
    if (std::optional<std::string> value = expectedPhraseValue(line, field.phrase)) {
      expected.*field.value = *value;
      return;
    }
  }
}

void compareFields(const SystemInfo& actual, const SystemInfo& expected, const std::string& what) {
  for (const Field& field : fields) {
    fuzzCheck(actual.*field.value == expected.*field.value,
              what + ": " + field.phrase + " is \"" + actual.*field.value + "\" instead of \"" +
                  expected.*field.value + "\"");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  std::filesystem::create_directories("MEInfo/Win/WINDOWS64");
  writeWholeFile("MEInfo/Win/WINDOWS64/MEInfoWin64.exe", "tool");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  const std::string text(asText(data, size));

  SystemInfo line;
  SystemInfo expectedLine;
  line.parseMeInfoLine(text);
  expectLine(expectedLine, text);
  compareFields(line, expectedLine, "one line");

  SystemInfo report;
  SystemInfo expectedReport;
  for (const std::string& chunk : chunksThroughPipe(meInfoCommand, text)) {
    expectLine(expectedReport, chunk);
  }
  try {
    report.readMeInfoVersions();
  } catch (const std::string& message) {
    fuzzFailure("reading the report raised " + message);
  }
  compareFields(report, expectedReport, "report");
  return 0;
}
