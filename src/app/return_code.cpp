#include "app/return_code.h"

#include <climits>

#include "checks/number_text.h"
#include "console/messages.h"

namespace {

// "[ ]*([\d]+)([\D]).*" after the keyword.
std::optional<TextMatch> codeFits(std::string_view message, std::size_t afterKeyword, std::size_t) {
  const std::size_t digits = skipWhile(message, afterKeyword, [](char c) { return c == ' '; });
  const std::size_t kind = skipWhile(message, digits, isDigit);
  if (kind == digits || kind == message.size()) return std::nullopt;
  // The kind may be a line break; the final ".*" then runs on over the next line.
  return TextMatch{{0, lineEndFrom(message, kind + 1)}, {digits, kind}, {kind, kind + 1}};
}

// A code's digits beyond the int range (only a tool can print such a number) still have to
// end the run as a failure.
int codeNumber(const std::string& digits) { return decimalDigitsValue(digits).value_or(INT_MAX); }

// An Intel tool's error reported without a number carries no code of its own; it is still a
// failure of its kind and must not end the run with 0.
int toolErrorWithoutNumber(const std::string& message) {
  if (message.compare(0, 9, "ERROR v: ") == 0) return 4000;
  if (message.compare(0, 9, "ERROR u: ") == 0) return 4001;
  return 0;
}

}  // namespace

std::optional<TextMatch> matchReturnCode(std::string_view message) {
  std::optional<TextMatch> error = lastFitOnFirstLine(message, "ERROR", codeFits);
  std::optional<TextMatch> code = lastFitOnFirstLine(message, "CODE", codeFits);
  if (!error || !code) return error ? error : code;
  // The earlier line wins; on one line, the later keyword (its digits come later too).
  if (error->whole.begin != code->whole.begin) {
    return error->whole.begin < code->whole.begin ? error : code;
  }
  return error->group1.begin > code->group1.begin ? error : code;
}

int extractReturnCode(const std::string& message) {
  printVerbose("Extracting return code\n", "default");
  printSuperVerbose("From: " + message + " \n", "default");
  int code = 0;
  if (std::optional<TextMatch> found = matchReturnCode(message)) {
    std::string kind = spanText(message, found->group2);
    printVerbose("Type: " + kind, "default");
    if (kind == "v") {
      code = 4000;
    } else if (kind == "u") {
      code = 4001;
    } else {
      code = codeNumber(spanText(message, found->group1));
    }
  } else {
    code = toolErrorWithoutNumber(message);
  }
  printVerbose("  Return code: " + std::to_string(code) + "\n\n", "default");
  return code;
}
