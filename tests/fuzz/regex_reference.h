// std::regex_search with ECMAScript syntax: the meaning the pattern engine promises to keep.
// Built without coverage instrumentation (see CMakeLists.txt).
#pragma once

#include <optional>
#include <string>

// The outcome as "none" or "found" followed by " <group>:<begin>-<end>" (or ":unmatched") for
// each group; nothing when std::regex refuses the expression.
std::optional<std::string> referenceOutcome(const std::string& expression, const std::string& text);
