// What every fuzz target shares: a private working folder, the test of what the program may
// raise, and the way a finding stops the run so that libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "printable_text.h"

// Creates a private temporary folder, makes it the working folder and returns its path. The
// folder is removed when the process exits normally. Call once, at start-up.
std::string enterScratchFolder();

// Reports a finding and aborts; libFuzzer then saves the input that led here.
[[noreturn]] void fuzzFailure(const std::string& reason);

inline void fuzzCheck(bool condition, const std::string& reason) {
  if (!condition) fuzzFailure(reason);
}

// The messages an entry point may raise: catalogue codes such as "1013h", and, when toolKind
// is 'v' or 'u', an Intel tool's error "ERROR <digits><kind>: <text>".
struct AllowedMessages {
  std::vector<std::string> codes;
  char toolKind = 0;
};

// A caught message must be one of the allowed ones and look as the catalogue makes it: the
// template's text before its first placeholder and after its last one around the arguments.
void requireCodedMessage(const std::string& message, const AllowedMessages& allowed);

// Settings chosen by one input byte, so that every print level is exercised: bit 0 verbose,
// bit 1 super-verbose (verbose too), bit 2 -force.
void applySettings(std::uint8_t settings);
bool verboseSetting(std::uint8_t settings);

// The pieces between separators; an empty input gives one empty piece.
std::vector<std::string> splitAt(std::string_view text, char separator);

std::string_view asText(const std::uint8_t* data, std::size_t size);

// What a program reading the command's pipe receives when the scripted platform holds
// `output` for it: the pipe's chunks, or all of them joined. Leaves the scripted output in
// place for the program.
std::vector<std::string> chunksThroughPipe(const std::string& commandLine,
                                           const std::string& output);
std::string textThroughPipe(const std::string& commandLine, const std::string& output);

// The whole content of a file, or nothing when it cannot be read.
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, std::string_view bytes);
