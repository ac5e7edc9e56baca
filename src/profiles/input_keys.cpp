#include "profiles/input_keys.h"

namespace {

bool isNameCharacter(char c) {
  return isDigitOrDot(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         c == '-';
}

bool isPlatformListCharacter(char c) { return isNameCharacter(c) || c == ',' || isBlankOrTab(c); }

// "[ \t]*=[ \t]*(<value>*)" after the key and, if `trailingBlanks`, "[ \t]*" after the value.
std::optional<TextMatch> valueFits(std::string_view line, std::size_t afterKey,
                                   bool (*isValueCharacter)(char), bool trailingBlanks) {
  const std::size_t equals = skipWhile(line, afterKey, isBlankOrTab);
  if (!startsAt(line, equals, "=")) return std::nullopt;
  const std::size_t start = skipWhile(line, equals + 1, isBlankOrTab);
  TextMatch found;
  found.group1 = {start, skipWhile(line, start, isValueCharacter)};
  found.whole.end =
      trailingBlanks ? skipWhile(line, found.group1.end, isBlankOrTab) : found.group1.end;
  return found;
}

std::optional<TextMatch> nameFits(std::string_view line, std::size_t afterKey, std::size_t) {
  return valueFits(line, afterKey, isNameCharacter, true);
}

std::optional<TextMatch> platformListFits(std::string_view line, std::size_t afterKey,
                                          std::size_t) {
  return valueFits(line, afterKey, isPlatformListCharacter, false);
}

std::optional<TextMatch> messageFits(std::string_view line, std::size_t afterKey, std::size_t) {
  return valueFits(
      line, afterKey, [](char c) { return !isLineBreak(c); }, false);
}

}  // namespace

std::optional<TextMatch> matchFirmwareFileKey(std::string_view line) {
  return firstFit(line, "meFirmwareFile", nameFits, true);
}

std::optional<TextMatch> matchSupportedPlatformsKey(std::string_view line) {
  return firstFit(line, "supportedPlatforms", platformListFits, true);
}

std::optional<TextMatch> matchUpfrontMessageKey(std::string_view line) {
  return firstFit(line, "upfrontMessage", messageFits, true);
}

std::optional<TextMatch> matchPrereqBiosKey(std::string_view line) {
  return firstFit(line, "prereqBios", nameFits, true);
}

std::optional<InputKeyMatch> matchInputKey(std::string_view line) {
  const std::pair<InputKey, std::optional<TextMatch> (*)(std::string_view)> keys[] = {
      {InputKey::meFirmwareFile, matchFirmwareFileKey},
      {InputKey::supportedPlatforms, matchSupportedPlatformsKey},
      {InputKey::upfrontMessage, matchUpfrontMessageKey},
      {InputKey::prereqBios, matchPrereqBiosKey},
  };
  for (const auto& [key, scan] : keys) {
    if (std::optional<TextMatch> found = scan(line)) return InputKeyMatch{key, *found};
  }
  return std::nullopt;
}

std::optional<TextMatch> matchFirmwareVersionShape(std::string_view fileName) {
  // A start inside a run of digits skips to the run's end just as the run's first digit does,
  // so each run is tried once from its first digit and never again: linear time.
  for (std::size_t start = 0; start <= fileName.size();) {
    std::size_t at = start;
    int dots = 0;
    for (; dots < 4; ++dots, ++at) {
      at = skipWhile(fileName, at, isDigit);
      if (at == fileName.size() || fileName[at] != '.') break;
    }
    if (dots == 4) {
      TextMatch found;
      found.whole = {start, lineEndFrom(fileName, at)};
      return found;
    }
    start = skipWhile(fileName, start, isDigit) + 1;
  }
  return std::nullopt;
}
