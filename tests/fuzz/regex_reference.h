// std::regex_search with ECMAScript syntax: the meaning the scanners promise to keep.
// Built without coverage instrumentation (see CMakeLists.txt).
#pragma once

#include <optional>
#include <string>
#include <vector>

// Longer texts are not given to std::regex: it recurses once per byte, and this much stays far
// from the stack's end.
constexpr std::size_t referenceTextBytes = 1500;

// The outcome as "none" or "found" followed by " <group>:<begin>-<end>" (or ":unmatched") for
// each group; nothing when std::regex refuses the expression.
std::optional<std::string> referenceOutcome(const std::string& expression, const std::string& text);

// The texts of std::regex_search's groups, the whole match first (a group that took no part is
// empty); nothing when it finds no match.
std::optional<std::vector<std::string>> referenceGroups(const std::string& expression,
                                                        const std::string& text);

// The text of one group of that match; nothing when there is no match.
std::optional<std::string> referenceGroup(const std::string& expression, const std::string& text,
                                          std::size_t group);
