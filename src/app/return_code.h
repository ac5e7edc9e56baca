// The process exit code, read back out of a caught error message.
#pragma once

#include <string>

#include "system/text_scan.h"

// ".*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*": the last code on the first line that names one;
// group 1 is its digits, group 2 the character after them (a line break counts).
std::optional<TextMatch> matchReturnCode(std::string_view message);

// The exit code named by a caught message: the code's digits, 4000 for an error the ME
// firmware version query reported ("v"), 4001 for one the update run reported ("u"), 0 when
// the text holds no code.
int extractReturnCode(const std::string& message);
