#include "scanner_table.h"

#include "app/return_code.h"
#include "profiles/input_keys.h"
#include "system/tool_output_scan.h"
#include "update/progress_lines.h"

// In the order of the fuzzer's seeds, whose first byte picks one.
const std::vector<ScannerCase>& scannerCases() {
  static const std::vector<ScannerCase> cases = {
      {R"([ \t]*meFirmwareFile[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)",
       1,
       matchFirmwareFileKey,
       {"meFirmwareFile", " = ", "fw_1.2-3.bin", "\t"}},
      {R"([ \t]*supportedPlatforms[ \t]*=[ \t]*([a-zA-Z0-9_\-\.\, \t]*))",
       1,
       matchSupportedPlatformsKey,
       {"supportedPlatforms", "=", "A, B\t", "x-1.2"}},
      {R"([ \t]*upfrontMessage[ \t]*=[ \t]*(.*))",
       1,
       matchUpfrontMessageKey,
       {"upfrontMessage", "=", " hello"}},
      {R"([ \t]*prereqBios[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*)",
       1,
       matchPrereqBiosKey,
       {"prereqBios", "=", "B12.x"}},
      {R"([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*)",
       0,
       matchFirmwareVersionShape,
       {"1.2.3.4.", "11.", "1.2", "."}},
      {R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)",
       2,
       matchReturnCode,
       {"ERROR", "CODE", "ERROR 12", "CODE  7"}},
      {R"(.*verification: *\[ *([0-9]*) *% *\])",
       1,
       matchVerificationProgress,
       {"verification:", " [ ", "57", " % ]", "%", "]", "verification: [ 5 % ]"}},
      {R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])",
       1,
       matchUpdateProgress,
       {"FW Update", " : [ ", "42% (", "/)", "]", "%", "FW Update:  [ 42% (-)]"}},
      {R"(.*COMPLETE.*)",
       0,
       [](std::string_view t) { return matchLineWith(t, "COMPLETE"); },
       {"COMPLETE", "COMP"}},
      {R"(Error ([0-9]*): ([.\s\S]*))",
       2,
       matchToolError,
       {"Error ", "Error 8193: ", ": ", "8703"}},
      {R"(.*completed.*)",
       0,
       [](std::string_view t) { return matchLineWith(t, "completed"); },
       {"completed", "complete"}},
      {R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)",
       1,
       matchBiosVersion,
       {"A12 ", "z99 x.y", "B3 "}},
      {R"(.*SOL.*)", 0, [](std::string_view t) { return matchLineWith(t, "SOL"); }, {"SOL", "SO"}},
      {R"(.*DAL.*)", 0, [](std::string_view t) { return matchLineWith(t, "DAL"); }, {"DAL", "DA"}},
      {R"(.*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*)",
       1,
       matchDriverVersion,
       {"DriverVer", " = ", "10/29/2019,", "2.1.0.1", ";DriverVer", ",", "1.2."}},
      {R"(.*Firmware Update Utility Version: *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "Firmware Update Utility Version:"); },
       {"Firmware Update Utility Version: ", "16.1.25", "Version:"}},
      {R"([ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*)",
       1,
       matchFirmwareVersion,
       {"FW Version", "::", " 1.2", ":"}},
      {R"(.*MEBx Version *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "MEBx Version"); },
       {"MEBx Version", " 16.0.15"}},
      {R"(.*LMS Version *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "LMS Version"); },
       {"LMS Version", " 2.1", "LMS"}},
      {R"(.*MEI Driver Version *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "MEI Driver Version"); },
       {"MEI Driver Version", " 2"}},
      {R"(.*MEInfo Version: *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "MEInfo Version:"); },
       {"MEInfo Version:", " 12.0"}},
      {R"(.*PMC Version *([0-9\.]*).*)",
       1,
       [](std::string_view t) { return matchPhraseValue(t, "PMC Version"); },
       {"PMC Version", " 300.2", "PMC"}},
  };
  return cases;
}

namespace {

std::string describe(std::size_t index, TextSpan span) {
  return " " + std::to_string(index) + ":" + std::to_string(span.begin) + "-" +
         std::to_string(span.end);
}

}  // namespace

std::string scannerOutcome(const ScannerCase& scanner, std::string_view text) {
  std::optional<TextMatch> found = scanner.scan(text);
  if (!found) return "none";
  std::string outcome = "found" + describe(0, found->whole);
  if (scanner.groups > 0) outcome += describe(1, found->group1);
  if (scanner.groups > 1) outcome += describe(2, found->group2);
  return outcome;
}

std::string withRealTabs(std::string expression) {
  for (std::size_t at = expression.find("\\t"); at != std::string::npos;
       at = expression.find("\\t", at)) {
    expression.replace(at, 2, "\t");
  }
  return expression;
}
