#pragma once

#include <string>

// Finds the machine's BIOS version and stores it lower-cased; its first three characters are
// the machine's BIOS family. Windows' own wmic is asked first, from the system folder; when
// it yields no version (not installed, hung past its time limit, or printing none), the BIOS
// Version string of the SMBIOS table is used. When both fail, raises "1000h" if wmic could not
// be started, else "2000s"; the earlier value is then kept.
void queryBiosVersion();

// Picks the BIOS version out of what wmic printed and stores it as queryBiosVersion does; also
// for a version given by hand. Raises "2000s" when the text holds none.
void takeBiosVersionFrom(const std::string& output);

// The BIOS version text as it was found, before lower-casing, and where: "wmic" (also for a
// version given by hand, as wmic would print it) or "smbios". Empty before the first query.
struct BiosReading {
  std::string text;
  std::string source;
};
BiosReading lastBiosReading();

// The last BIOS version found; empty before the first successful query.
std::string currentBiosVersion();

// Puts the stored value back to its start, empty (for tests).
void resetCurrentBiosVersion();
