#pragma once

#include <cstdio>
#include <optional>
#include <vector>

#include "scenario.h"

// Prints the steps to `out` in order, flushing after each one and after each line of a count
// (waiting `paceMs` after each of those). Returns the status of an "exit" step, or nothing when
// the steps ran to their end. A "kill" step ends the process. "behaviour" steps must have been
// expanded beforehand; meeting one throws std::logic_error.
std::optional<int> playSteps(const std::vector<Step>& steps, const Values& values, long long paceMs,
                             std::FILE* out);
