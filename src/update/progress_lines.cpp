#include "update/progress_lines.h"

namespace {

bool isBlank(char c) { return c == ' '; }

// "<blanks><character>": where the character stands after the blanks from `at`, if it is there.
std::optional<std::size_t> afterBlanks(std::string_view line, std::size_t at, char character) {
  at = skipWhile(line, at, isBlank);
  if (at == line.size() || line[at] != character) return std::nullopt;
  return at;
}

// " *\[ *([0-9]*)": the percentage after the opening bracket.
std::optional<TextSpan> percentage(std::string_view line, std::size_t at) {
  std::optional<std::size_t> bracket = afterBlanks(line, at, '[');
  if (!bracket) return std::nullopt;
  const std::size_t begin = skipWhile(line, *bracket + 1, isBlank);
  return TextSpan{begin, skipWhile(line, begin, isDigit)};
}

// " *\[ *([0-9]*) *% *\]" after "verification:".
std::optional<TextMatch> verificationFits(std::string_view line, std::size_t afterKey,
                                          std::size_t) {
  std::optional<TextSpan> digits = percentage(line, afterKey);
  if (!digits) return std::nullopt;
  std::optional<std::size_t> percent = afterBlanks(line, digits->end, '%');
  if (!percent) return std::nullopt;
  std::optional<std::size_t> closing = afterBlanks(line, *percent + 1, ']');
  if (!closing) return std::nullopt;
  return TextMatch{{0, *closing + 1}, *digits, {}};
}

// " *: *\[ *([0-9]*)% \(.\)" after "FW Update", the ')' before `closing`.
std::optional<TextMatch> updateFits(std::string_view line, std::size_t afterKey,
                                    std::size_t closing) {
  std::optional<std::size_t> colon = afterBlanks(line, afterKey, ':');
  if (!colon) return std::nullopt;
  std::optional<TextSpan> digits = percentage(line, *colon + 1);
  if (!digits || !startsAt(line, digits->end, "% (")) return std::nullopt;
  const std::size_t spinner = digits->end + 3;
  if (spinner + 1 >= closing || isLineBreak(line[spinner]) || line[spinner + 1] != ')') {
    return std::nullopt;
  }
  return TextMatch{{}, *digits, {}};
}

// The update expression on one line that holds "FW Update": its ".*\]" ends the match at the
// line's last ']', and the leading ".*" picks the last "FW Update" whose rest fits before it.
std::optional<TextMatch> updateProgressOnLine(std::string_view line, std::size_t firstKey) {
  const std::size_t lineEnd = lineEndFrom(line, firstKey);
  const std::size_t closing = line.rfind(']', lineEnd - 1);
  if (closing == std::string_view::npos || closing < firstKey) return std::nullopt;
  for (std::size_t key = lastOccurrence(line, "FW Update", firstKey, closing);;
       key = line.rfind("FW Update", key - 1)) {
    if (std::optional<TextMatch> found = updateFits(line, key + 9, closing)) {
      found->whole = {lineStartBefore(line, firstKey), closing + 1};
      return found;
    }
    if (key == firstKey) return std::nullopt;
  }
}

}  // namespace

std::optional<TextMatch> matchVerificationProgress(std::string_view line) {
  return lastFitOnFirstLine(line, "verification:", verificationFits);
}

std::optional<TextMatch> matchUpdateProgress(std::string_view line) {
  for (std::size_t key = line.find("FW Update"); key != std::string_view::npos;
       key = line.find("FW Update", lineEndFrom(line, key))) {
    if (std::optional<TextMatch> found = updateProgressOnLine(line, key)) return found;
  }
  return std::nullopt;
}
