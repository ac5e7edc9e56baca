#pragma once

#include <string>
#include <vector>

#include "profiles/input_profile.h"

// Reads input.txt from the working folder into profiles, validating as it goes: every
// platform must be known to the platform decoder, no BIOS family may be claimed by two
// profiles, every field must follow a meFirmwareFile line, and each firmware file name must
// carry a four-part version. Raises "1001h", "1002h", "1010h" to "1013h" or "1016h".
void loadInputProfiles(std::vector<InputProfile>& profiles);

// A copy without blanks and tabs.
std::string removeBlanks(const std::string& text);

// Position of the fourth occurrence of the separator, or npos when there are fewer.
std::size_t findFourthOccurrence(const std::string& text, char separator);
