#pragma once

#include <optional>
#include <string>

#include "profiles/input_profile.h"

// Returns when the machine's BIOS version is at least the profile's prerequisite; raises
// "2011s" when it is older and "2012s" when either text holds no number to compare. Both are
// read as one number made of all their digits, the BIOS from its fifth character on (after
// the family code and its blank).
void checkBiosPrerequisite(InputProfile profile);

// The decimal digits of the text, in order, read as one number. Raises "2012s" naming the
// text when it has no digit or the number exceeds 2147483647.
int digitsToNumber(const std::string& text);

// As digitsToNumber, but nothing instead of raising.
std::optional<int> digitsNumber(const std::string& text);
