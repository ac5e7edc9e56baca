#pragma once

#include <string>

// A copy with the letters A to Z turned into a to z; every other byte is unchanged, whatever
// the locale.
std::string toLower(std::string text);
