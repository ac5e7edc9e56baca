#include "system/tool_output_scan.h"

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isBiosVersionCharacter(char c) { return isLetter(c) || isDigitOrDot(c) || c == ' '; }

// "[\:]*[ \t]*([0-9\.]+)[ \t]*" after "FW Version".
std::optional<TextMatch> firmwareVersionFits(std::string_view output, std::size_t afterKey,
                                             std::size_t) {
  const std::size_t colons = skipWhile(output, afterKey, [](char c) { return c == ':'; });
  const std::size_t value = skipWhile(output, colons, isBlankOrTab);
  const std::size_t valueEnd = skipWhile(output, value, isDigitOrDot);
  if (valueEnd == value) return std::nullopt;
  return TextMatch{{0, skipWhile(output, valueEnd, isBlankOrTab)}, {value, valueEnd}, {}};
}

// "([0-9]*): ([.\s\S]*)" after "Error ".
std::optional<TextMatch> toolErrorFits(std::string_view output, std::size_t afterKey, std::size_t) {
  const std::size_t number = skipWhile(output, afterKey, isDigit);
  if (!startsAt(output, number, ": ")) return std::nullopt;
  return TextMatch{{0, output.size()}, {afterKey, number}, {number + 2, output.size()}};
}

// "[0-9]*\.[0-9]*\.[0-9]*\.[0-9]*" from `at`: where it ends, if it is there.
std::optional<std::size_t> dottedVersionEnd(std::string_view text, std::size_t at) {
  for (int dots = 0; dots < 3; ++dots) {
    at = skipWhile(text, at, isDigit);
    if (!startsAt(text, at, ".")) return std::nullopt;
    ++at;
  }
  return skipWhile(text, at, isDigit);
}

// The DriverVer expression on one line that holds "DriverVer". Its greedy ".*"s pick the last
// "DriverVer" that works, then the last equals sign and comma after it that work, which comes
// to the last comma on the line that is followed by a version and has an equals sign between
// it and the first "DriverVer" (any later "DriverVer" that works sees the same last comma).
std::optional<TextMatch> driverVersionOnLine(std::string_view line, std::size_t firstKey) {
  const std::size_t lineEnd = lineEndFrom(line, firstKey);
  const std::size_t equals = line.find('=', firstKey + 9);
  if (equals >= lineEnd) return std::nullopt;
  for (std::size_t comma = line.rfind(',', lineEnd - 1);
       comma != std::string_view::npos && comma > equals; comma = line.rfind(',', comma - 1)) {
    if (std::optional<std::size_t> end = dottedVersionEnd(line, comma + 1)) {
      return TextMatch{{lineStartBefore(line, firstKey), lineEnd}, {comma + 1, *end}, {}};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<TextMatch> matchBiosVersion(std::string_view text) {
  for (std::size_t at = text.size() < 4 ? 0 : text.size() - 3; at-- > 0;) {
    if (!isLetter(text[at]) || !isDigit(text[at + 1]) || !isDigit(text[at + 2]) ||
        text[at + 3] != ' ') {
      continue;
    }
    return TextMatch{{0, text.size()}, {at, skipWhile(text, at + 4, isBiosVersionCharacter)}, {}};
  }
  return std::nullopt;
}

std::optional<std::string> findBiosVersion(std::string_view text) {
  std::optional<TextMatch> found = matchBiosVersion(text);
  if (!found) return std::nullopt;
  return spanText(text, found->group1);
}

std::optional<TextMatch> matchFirmwareVersion(std::string_view output) {
  return firstFit(output, "FW Version", firmwareVersionFits, true);
}

std::optional<TextMatch> matchToolError(std::string_view output) {
  return firstFit(output, "Error ", toolErrorFits, false);
}

std::optional<TextMatch> matchDriverVersion(std::string_view line) {
  for (std::size_t key = line.find("DriverVer"); key != std::string_view::npos;
       key = line.find("DriverVer", lineEndFrom(line, key))) {
    if (std::optional<TextMatch> found = driverVersionOnLine(line, key)) return found;
  }
  return std::nullopt;
}
