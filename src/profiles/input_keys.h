// Recognition of the four keys of an input.txt line. The parser and the Kitbox checker both
// read lines through this one function, so they can never disagree about what a line means.
#pragma once

#include <cstddef>
#include <string>

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

// The first of the four keys, in the order meFirmwareFile, supportedPlatforms, upfrontMessage,
// prereqBios, that is found anywhere in the line. Key words are case-sensitive; each value
// ends at the first character outside its set.
InputKeyMatch recognizeInputKey(const std::string& line);

// The key word as written in input.txt.
const char* inputKeyName(InputKey key);
