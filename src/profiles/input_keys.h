// The scanners of input.txt: which key a line holds and where its value stands. Each key is
// searched anywhere in a line, so text around it (even a comment mark) is allowed. The parser
// and the Kitbox checker both read lines through recognizeInputKey, so they can never disagree
// about what a line means.
#pragma once

#include "system/text_scan.h"

#include <cstddef>

enum class InputKey { none, firmwareFile, supportedPlatforms, upfrontMessage, prereqBios };

// Where the key was found in the line: the whole match (from the blanks before the key word)
// and its value. Positions are byte offsets into the line; all zero for InputKey::none.
struct InputKeyMatch {
  InputKey key = InputKey::none;
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t valueBegin = 0;
  std::size_t valueEnd = 0;
};

// "[ \t]*meFirmwareFile[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*"
std::optional<TextMatch> matchFirmwareFileKey(std::string_view line);

// "[ \t]*supportedPlatforms[ \t]*=[ \t]*([a-zA-Z0-9_\-\.\, \t]*)"
std::optional<TextMatch> matchSupportedPlatformsKey(std::string_view line);

// "[ \t]*upfrontMessage[ \t]*=[ \t]*(.*)"
std::optional<TextMatch> matchUpfrontMessageKey(std::string_view line);

// "[ \t]*prereqBios[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*"
std::optional<TextMatch> matchPrereqBiosKey(std::string_view line);

// The first of the four keys, in the order meFirmwareFile, supportedPlatforms, upfrontMessage,
// prereqBios, that is found anywhere in the line; InputKey::none when there is none.
InputKeyMatch recognizeInputKey(std::string_view line);

// The key word as written in input.txt.
const char* inputKeyName(InputKey key);

// "[0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*": four dots, each after a run of digits, anywhere.
std::optional<TextMatch> matchFirmwareVersionShape(std::string_view fileName);
