// What an input.txt line probably did not mean: the installer accepts these lines, but reads
// them otherwise than their author expected. Warnings of the Kitbox checker.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "profiles/input_keys.h"

// True when the text starts, after blanks, with a comment mark: "#", ";", "//" or the word
// "rem" in any letter case.
bool startsWithCommentMark(const std::string& text);

// For a line read as a key, the warnings that apply: text before the key, whatever it is (the
// key still counts; a second key there is ignored), a key written into an upfrontMessage or
// supportedPlatforms value, and a meFirmwareFile or prereqBios value cut off before the rest of
// the line.
std::vector<std::string> keyLineHints(const std::string& line, const InputKeyMatch& match);

// An ignored line that looks like one of the four keys written in another letter case,
// misspelt, or without its equals sign: the key it looks like and the warning.
struct IgnoredLine {
  InputKey key = InputKey::none;
  std::string hint;
};
std::optional<IgnoredLine> ignoredLineHint(const std::string& line);

// The number of single-byte insertions, deletions and substitutions that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b);
