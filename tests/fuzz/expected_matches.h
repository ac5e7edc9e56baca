// Hand-written readings of the expressions the program applies to outside text, for the fuzz
// targets to compare with what the program picked out. Each follows the expression's
// backtracking meaning directly: a '.' never crosses a carriage return or a line feed, so an
// expression that starts with a greedy ".*" takes the last fitting place on the first line
// that has one.
#pragma once

#include <optional>
#include <string>

// ".*<phrase> *([0-9\.]*).*": the digits and dots after the blanks that follow the phrase.
std::optional<std::string> expectedPhraseValue(const std::string& text, const std::string& phrase);

// "[\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*": the last place in the whole text.
std::optional<std::string> expectedBiosVersion(const std::string& text);

// "[ \t]*FW Version[\:]*[ \t]*([0-9\.]+)[ \t]*": the first occurrence followed by a number.
std::optional<std::string> expectedFirmwareVersion(const std::string& text);

// "Error ([0-9]*): ([.\s\S]*)": the first occurrence; the text runs to the end.
struct ExpectedToolError {
  std::string number;
  std::string text;
};
std::optional<ExpectedToolError> expectedToolError(const std::string& text);

// What extractReturnCode must give for a message.
int expectedReturnCode(const std::string& message);

// "[0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*" found anywhere.
bool hasFirmwareVersionShape(const std::string& fileName);

// The file name up to, not including, its fourth dot; all of it when it has fewer.
std::string versionOfFileName(const std::string& fileName);

// ".*verification: *\[ *([0-9]*) *% *\]".
std::optional<std::string> expectedVerificationPercentage(const std::string& line);

// ".*FW Update *: *\[ *([0-9]*)% \(.\).*\]".
std::optional<std::string> expectedUpdatePercentage(const std::string& line);

// ".*DriverVer.*=.*,([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*).*": the version after the last comma
// that has one, an equals sign before it and "DriverVer" before that, on the first line.
std::optional<std::string> expectedDriverVersion(const std::string& line);
