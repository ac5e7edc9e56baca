// The scanners of input.txt: which key a line holds and where its value stands. Each key is
// searched anywhere in a line, so text around it (even a comment mark) is allowed.
#pragma once

#include "system/text_scan.h"

enum class InputKey { meFirmwareFile, supportedPlatforms, upfrontMessage, prereqBios };

struct InputKeyMatch {
  InputKey key;
  TextMatch match;  // group1 is the value
};

// "[ \t]*meFirmwareFile[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*"
std::optional<TextMatch> matchFirmwareFileKey(std::string_view line);

// "[ \t]*supportedPlatforms[ \t]*=[ \t]*([a-zA-Z0-9_\-\.\, \t]*)"
std::optional<TextMatch> matchSupportedPlatformsKey(std::string_view line);

// "[ \t]*upfrontMessage[ \t]*=[ \t]*(.*)"
std::optional<TextMatch> matchUpfrontMessageKey(std::string_view line);

// "[ \t]*prereqBios[ \t]*=[ \t]*([a-zA-Z0-9_\-\.]*)[ \t]*"
std::optional<TextMatch> matchPrereqBiosKey(std::string_view line);

// The four keys in this order; the first one found decides what the line is.
std::optional<InputKeyMatch> matchInputKey(std::string_view line);

// "[0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*": four dots, each after a run of digits, anywhere.
std::optional<TextMatch> matchFirmwareVersionShape(std::string_view fileName);
