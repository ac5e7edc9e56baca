// The pattern engine against std::regex_search, the meaning it promises: the program's own
// expressions on arbitrary text, and arbitrary expressions of the supported syntax on short
// text. All search methods must agree with each other on longer text as well.
#include <stdexcept>
#include <vector>

#include "fuzz_support.h"
#include "regex_reference.h"
#include "system/pattern.h"

namespace {

// Every expression the program compiles.
const char* const programExpressions[] = {
    "[ \\t]*meFirmwareFile[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.]*)[ \\t]*",
    "[ \\t]*supportedPlatforms[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.\\, \\t]*)",
    "[ \\t]*upfrontMessage[ \\t]*=[ \\t]*(.*)",
    "[ \\t]*prereqBios[ \\t]*=[ \\t]*([a-zA-Z0-9_\\-\\.]*)[ \\t]*",
    "[0-9]*\\.[0-9]*\\.[0-9]*\\.[0-9]*\\..*",
    ".*(?:ERROR|CODE)[ ]*([\\d]+)([\\D]).*",
    ".*verification: *\\[ *([0-9]*) *% *\\]",
    ".*FW Update *: *\\[ *([0-9]*)% \\(.\\).*\\]",
    ".*COMPLETE.*",
    "Error ([0-9]*): ([.\\s\\S]*)",
    ".*completed.*",
    "[\\s\\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\\. ]*)[\\s\\S]*",
    ".*SOL.*",
    ".*DAL.*",
    ".*DriverVer.*=.*,([0-9]*\\.[0-9]*\\.[0-9]*\\.[0-9]*).*",
    ".*Firmware Update Utility Version: *([0-9\\.]*).*",
    "[ \\t]*FW Version[\\:]*[ \\t]*([0-9\\.]+)[ \\t]*",
    ".*MEBx Version *([0-9\\.]*).*",
    ".*LMS Version *([0-9\\.]*).*",
    ".*MEI Driver Version *([0-9\\.]*).*",
    ".*MEInfo Version: *([0-9\\.]*).*",
    ".*PMC Version *([0-9\\.]*).*",
};
constexpr std::size_t programExpressionCount = std::size(programExpressions);

// std::regex recurses once per text byte; this much stays far from the stack's end.
constexpr std::size_t referenceTextBytes = 1500;
constexpr std::size_t longestText = 4096;
constexpr std::size_t longestRandomExpression = 32;

const PatternMethod methods[] = {PatternMethod::automatic, PatternMethod::threads,
                                 PatternMethod::backtracking, PatternMethod::backwardScan};

std::string engineOutcome(const Pattern& pattern, const std::string& text, PatternMethod method) {
  PatternMatch match;
  bool found = searchPattern(pattern, text, match, method);
  if (!found) {
    fuzzCheck(match.groups.empty(), "no match, but groups are left");
    return "none";
  }
  fuzzCheck(match.groups.size() == pattern.groupCount + 1, "wrong number of groups");
  std::string outcome = "found";
  for (std::size_t i = 0; i < match.groups.size(); ++i) {
    const PatternMatch::Group& group = match.groups[i];
    outcome += " " + std::to_string(i) + ":";
    if (group.matched) {
      fuzzCheck(group.begin <= group.end && group.end <= text.size(), "group out of the text");
      fuzzCheck(groupText(text, match, i) == text.substr(group.begin, group.end - group.begin),
                "group text differs from its span");
      outcome += std::to_string(group.begin) + "-" + std::to_string(group.end);
    } else {
      fuzzCheck(groupText(text, match, i).empty(), "unmatched group has text");
      outcome += "unmatched";
    }
  }
  return outcome;
}

// std::regex searches depth first without remembering failures, so its time grows like the
// number of choices in the expression to the power of the text length. A random expression is
// compared with it only on texts short enough for that to stay small.
std::size_t referenceLimit(const std::string& expression) {
  double base = 1;
  for (char c : expression) {
    if (c == '|' || c == '*' || c == '+' || c == '?') ++base;
  }
  std::size_t limit = 0;
  for (double paths = base; limit < 16 && paths <= 1e6; paths *= base)
    ++limit;
  return limit;
}

void compare(const std::string& expression, const std::string& text, bool withReference) {
  Pattern pattern;
  try {
    pattern = compilePattern(expression);
  } catch (const std::invalid_argument&) {
    return;  // outside the supported syntax, and refused as it must be
  }
  const std::string outcome = engineOutcome(pattern, text, PatternMethod::automatic);
  for (PatternMethod method : methods) {
    fuzzCheck(engineOutcome(pattern, text, method) == outcome,
              "search methods disagree on \"" + expression + "\" and \"" + text + "\"");
  }
  if (!withReference) return;
  std::optional<std::string> reference = referenceOutcome(expression, text);
  fuzzCheck(reference.has_value(), "accepted what std::regex refuses: " + expression);
  fuzzCheck(outcome == *reference,
            "\"" + expression + "\" on \"" + text + "\": " + outcome + " instead of " + *reference);
}

std::string withRealTabs(std::string expression) {
  for (std::size_t at = expression.find("\\t"); at != std::string::npos;
       at = expression.find("\\t", at))
    expression.replace(at, 2, "\t");
  return expression;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// The first byte picks one of the program's expressions (odd: with its tabs written as real
// tabs) for the rest of the input as text; from twice their number on, the rest is an
// expression, a NUL byte, and the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > longestText) return 0;
  const std::string rest(asText(data + 1, size - 1));
  if (data[0] < 2 * programExpressionCount) {
    std::string expression = programExpressions[data[0] / 2];
    if (data[0] % 2 == 1) expression = withRealTabs(expression);
    compare(expression, rest, rest.size() <= referenceTextBytes);
    return 0;
  }
  const std::size_t separator = rest.find('\0');
  if (separator == std::string::npos || separator > longestRandomExpression) return 0;
  const std::string expression = rest.substr(0, separator);
  const std::string text = rest.substr(separator + 1);
  compare(expression, text, text.size() <= referenceLimit(expression));
  return 0;
}
