// How `wmic bios get smbiosbiosversion` lays out the BIOS Version string. The SMBIOS fallback
// reads the string through this layout, so that the version found, trailing blanks included,
// is the same from either source; the simulated wmic prints it.
#pragma once

#include <string>

// The column header wmic prints above the value.
extern const char* const wmicBiosVersionHeader;

// One column as wide as the longer of the header and the value, plus two blanks: the header
// cell and the value cell, each ended by CR CR LF, then an empty line ended the same way.
std::string wmicBiosVersionLayout(const std::string& version);
