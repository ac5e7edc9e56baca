// The BIOS version as the firmware itself reports it, read from the raw SMBIOS table: the
// "BIOS Version" string of the BIOS information structure (type 0), which is what wmic prints
// as SMBIOSBIOSVersion.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The BIOS Version string of the table's first type 0 structure. The table comes as Windows
// hands it out: an 8-byte header whose last four bytes hold the table length, then the
// structures. Nothing when there is no such string or the table is malformed in any way.
std::optional<std::string> smbiosBiosVersion(std::string_view rawTable);
