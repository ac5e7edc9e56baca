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

namespace {

struct KeyScanner {
  InputKey key;
  const char* name;
  std::optional<TextMatch> (*scan)(std::string_view line);
};

const KeyScanner keyScanners[] = {
    {InputKey::firmwareFile, "meFirmwareFile", matchFirmwareFileKey},
    {InputKey::supportedPlatforms, "supportedPlatforms", matchSupportedPlatformsKey},
    {InputKey::upfrontMessage, "upfrontMessage", matchUpfrontMessageKey},
    {InputKey::prereqBios, "prereqBios", matchPrereqBiosKey},
};

}  // namespace

InputKeyMatch recognizeInputKey(std::string_view line) {
  for (const KeyScanner& scanner : keyScanners) {
    if (std::optional<TextMatch> found = scanner.scan(line)) {
      return {scanner.key, found->whole.begin, found->whole.end, found->group1.begin,
              found->group1.end};
    }
  }
  return {};
}

const char* inputKeyName(InputKey key) {
  for (const KeyScanner& scanner : keyScanners) {
    if (scanner.key == key) return scanner.name;
  }
  return "";
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
