// The scanners of the update tool's progress lines. Its error lines are read by
// matchToolError (system/tool_output_scan.h), as in the version query, and ".*COMPLETE.*" and
// ".*completed.*" by matchLineWith (system/text_scan.h).
#pragma once

#include "system/text_scan.h"

// ".*verification: *\[ *([0-9]*) *% *\]": group 1 is the percentage.
std::optional<TextMatch> matchVerificationProgress(std::string_view line);

// ".*FW Update *: *\[ *([0-9]*)% \(.\).*\]": group 1 is the percentage.
std::optional<TextMatch> matchUpdateProgress(std::string_view line);
