#include "profiles/input_keys.h"

namespace {

bool isNameCharacter(char c) {
  return isDigitOrDot(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         c == '-';
}

bool isPlatformListCharacter(char c) { return isNameCharacter(c) || c == ',' || isBlankOrTab(c); }

bool isMessageCharacter(char c) { return !isLineBreak(c); }

// "[ \t]*=[ \t]*(<value>*)" after the key and, if `trailingBlanks`, "[ \t]*" after the value.
template <bool (*isValueCharacter)(char), bool trailingBlanks>
std::optional<TextMatch> valueFits(std::string_view line, std::size_t afterKey, std::size_t) {
  const std::size_t equals = skipWhile(line, afterKey, isBlankOrTab);
  if (!startsAt(line, equals, "=")) return std::nullopt;
  const std::size_t start = skipWhile(line, equals + 1, isBlankOrTab);
  const std::size_t end = skipWhile(line, start, isValueCharacter);
  return TextMatch{
      {0, trailingBlanks ? skipWhile(line, end, isBlankOrTab) : end}, {start, end}, {}};
}

}  // namespace

std::optional<TextMatch> matchFirmwareFileKey(std::string_view line) {
  return firstFit(line, "meFirmwareFile", valueFits<isNameCharacter, true>, true);
}

std::optional<TextMatch> matchSupportedPlatformsKey(std::string_view line) {
  return firstFit(line, "supportedPlatforms", valueFits<isPlatformListCharacter, false>, true);
}

std::optional<TextMatch> matchUpfrontMessageKey(std::string_view line) {
  return firstFit(line, "upfrontMessage", valueFits<isMessageCharacter, false>, true);
}

std::optional<TextMatch> matchPrereqBiosKey(std::string_view line) {
  return firstFit(line, "prereqBios", valueFits<isNameCharacter, true>, true);
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
    if (dots == 4) return TextMatch{{start, lineEndFrom(fileName, at)}, {}, {}};
    start = skipWhile(fileName, start, isDigit) + 1;
  }
  return std::nullopt;
}
