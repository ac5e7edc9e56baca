#pragma once

#include <optional>
#include <string>

#include "profiles/input_profile.h"
#include "system/system_info.h"

// True when version a is greater than version b over their first four dot-separated fields,
// compared as numbers. Fields are read only as far as the comparison goes.
bool isNewerVersion(const std::string& a, const std::string& b);

// Field n (from 0) of a dotted version, read like the C library's base-10 conversion (leading
// blanks, an optional sign, the digits up to the first non-digit). Raises "1018h" naming the
// version when the field is missing, does not start with a number or exceeds the int range.
int versionField(const std::string& version, int n);

// As versionField, but nothing instead of raising.
std::optional<int> readVersionField(const std::string& version, int n);

// Returns when the profile's firmware is newer than the installed one the system information
// holds, or the same and -force was given; raises "3001n" for the same version and "3000n" for
// a downgrade.
void checkFirmwareIsNewer(const SystemInfo& systemInfo, InputProfile profile);
