// What an input.txt line probably did not mean: the installer accepts these lines, but reads
// them otherwise than their author expected. Warnings of the Kitbox checker.
#pragma once

#include <optional>
#include <string>

#include "profiles/input_keys.h"

// True when the text starts, after blanks, with a comment mark: "#", ";", "//" or the word
// "rem" in any letter case.
bool startsWithCommentMark(const std::string& text);

// For a line read as a key: a warning when a comment mark stands before the key (the key still
// counts) or when text after a prereqBios value is cut off.
std::optional<std::string> keyLineHint(const std::string& line, const InputKeyMatch& match);

// For an ignored line: a warning when it looks like one of the four keys written in another
// letter case, misspelt, or without its equals sign.
std::optional<std::string> ignoredLineHint(const std::string& line);

// The number of single-byte insertions, deletions and substitutions that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b);
