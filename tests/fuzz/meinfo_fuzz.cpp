// MEInfo's verbose report, as one line handed to the line parser and as a whole report read
// through the pipe. Each line may fill only the first field whose expression it matches, with
// the digits and dots the expression captures.
#include <array>
#include <filesystem>

#include "fuzz_support.h"
#include "process_state.h"
#include "regex_reference.h"
#include "system/system_info.h"

namespace {

const std::string meInfoCommand = "MEInfo\\Win\\WINDOWS64\\MEInfoWin64.exe -verbose";

struct Field {
  const char* expression;
  std::string SystemInfo::*value;
};

// In the order the parser tries them.
const std::array<Field, 5> fields = {{
    {R"(.*MEBx Version *([0-9\.]*).*)", &SystemInfo::mebxVersion},
    {R"(.*LMS Version *([0-9\.]*).*)", &SystemInfo::lmsVersion},
    {R"(.*MEI Driver Version *([0-9\.]*).*)", &SystemInfo::meiVersion},
    {R"(.*MEInfo Version: *([0-9\.]*).*)", &SystemInfo::meInfoVersion},
    {R"(.*PMC Version *([0-9\.]*).*)", &SystemInfo::pmcVersion},
}};

void expectLine(SystemInfo& expected, const std::string& line) {
  for (const Field& field : fields) {
    if (std::optional<std::string> value = referenceGroup(field.expression, line, 1)) {
      expected.*field.value = *value;
      return;
    }
  }
}

void compareFields(const SystemInfo& actual, const SystemInfo& expected, const std::string& what) {
  for (const Field& field : fields) {
    fuzzCheck(actual.*field.value == expected.*field.value,
              what + ": " + field.expression + " gives \"" + actual.*field.value +
                  "\" instead of \"" + expected.*field.value + "\"");
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
  // Beyond what std::regex survives, the line is only parsed.
  if (text.size() <= referenceTextBytes) {
    expectLine(expectedLine, text);
    compareFields(line, expectedLine, "one line");
  }

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
