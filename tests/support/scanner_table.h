// Every scanner of the program beside the expression it reproduces, for the tests and the
// fuzzer that compare the two with std::regex_search.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/text_scan.h"

struct ScannerCase {
  const char* expression;
  std::size_t groups;  // capture groups, not counting the whole match
  std::optional<TextMatch> (*scan)(std::string_view text);
  std::vector<std::string> words;  // pieces of what it looks for, for generated texts
};

const std::vector<ScannerCase>& scannerCases();

// The scanner's result as "none" or "found" followed by " <group>:<begin>-<end>" for the whole
// match and each group: the form regex_reference and the unit tests give std::regex's in.
std::string scannerOutcome(const ScannerCase& scanner, std::string_view text);

// The expression with each "\t" written as a real tab, which must mean the same.
std::string withRealTabs(std::string expression);
