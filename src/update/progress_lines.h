// The scanners of the update tool's progress lines. Its error lines are read by
// matchToolError (system/tool_output_scan.h), as in the version query.
#pragma once

#include <optional>
#include <string_view>

#include "system/text_scan.h"

// ".*verification: *\[ *([0-9]*) *% *\]": group 1 is the percentage.
std::optional<TextMatch> matchVerificationProgress(std::string_view line);

// ".*FW Update *: *\[ *([0-9]*)% \(.\).*\]": group 1 is the percentage.
std::optional<TextMatch> matchUpdateProgress(std::string_view line);

// ".*COMPLETE.*"
std::optional<TextMatch> matchVerificationComplete(std::string_view line);

// ".*completed.*"
std::optional<TextMatch> matchUpdateCompleted(std::string_view line);
