// Each scanner against std::regex_search with the expression it reproduces, on arbitrary
// text. Texts too long for std::regex must still leave every span inside the text.
#include "fuzz_support.h"
#include "regex_reference.h"
#include "scanner_table.h"

namespace {

void checkInside(const ScannerCase& scanner, const std::string& text) {
  std::optional<TextMatch> found = scanner.scan(text);
  if (!found) return;
  for (TextSpan span : {found->whole, found->group1, found->group2}) {
    fuzzCheck(span.begin <= span.end && span.end <= text.size(),
              std::string("span outside the text: ") + scanner.expression);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// The first byte picks a scanner, and whether its expression is written with real tabs (the
// same meaning); the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<ScannerCase>& scanners = scannerCases();
  if (size == 0 || data[0] >= 2 * scanners.size()) return 0;
  const ScannerCase& scanner = scanners[data[0] / 2];
  const std::string text(asText(data + 1, size - 1));
  checkInside(scanner, text);
  if (text.size() > referenceTextBytes) return 0;
  const std::string expression =
      data[0] % 2 == 1 ? withRealTabs(scanner.expression) : scanner.expression;
  const std::optional<std::string> reference = referenceOutcome(expression, text);
  fuzzCheck(reference.has_value(), "std::regex refuses " + expression);
  const std::string outcome = scannerOutcome(scanner, text);
  fuzzCheck(outcome == *reference,
            "\"" + expression + "\" on \"" + text + "\": " + outcome + " instead of " + *reference);
  return 0;
}
