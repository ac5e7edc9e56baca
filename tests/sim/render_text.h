#pragma once

#include <string>

#include "scenario.h"

// The bytes a scenario text stands for: {KEY} replaced by the value of a known key, taken as
// it is, and the escapes of the text around it decoded. Unknown {...} stay as written.
std::string renderText(const std::string& text, const Values& values);

// The values seen by one line of "count": `values` plus {n}, {n3} and {spin} for `number`.
Values countValues(const Values& values, long long number);
