// The platforms the installer knows, each with the BIOS family it runs. A machine reveals only
// its BIOS version, whose first three characters are the family; this table links profiles
// in input.txt to machines.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "profiles/input_profile.h"

// Platform identifier (lower case, 4 to 10 letters and digits) to BIOS family (a letter and
// two digits, lower case). Filled during start-up and never changed.
using PlatformDecoder = std::map<std::string, std::string>;

const PlatformDecoder& platformDecoder();

// Exact, case-sensitive lookup; nothing for an unknown identifier.
std::optional<std::string> decodePlatform(const std::string& identifier);

// The first three characters of the current BIOS version (all of it when shorter).
std::string systemBiosFamily();

// The index of the first profile, in file order, holding a platform of the machine's BIOS
// family; -1 when there is none.
int matchInputProfile(const std::vector<InputProfile>& profiles);
