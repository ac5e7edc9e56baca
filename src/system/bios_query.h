#pragma once

#include <string>

// Runs wmic for the machine's BIOS version and stores it lower-cased; its first three
// characters are the machine's BIOS family. Raises "1000h" or "2000s"; on failure the earlier
// value is kept.
void queryBiosVersion();

// Picks the BIOS version out of what wmic printed and stores it as queryBiosVersion does; also
// for a version given by hand. Raises "2000s" when the text holds none.
void takeBiosVersionFrom(const std::string& output);

// The last BIOS version found; empty before the first successful query.
std::string currentBiosVersion();

// Puts the stored value back to its start (for tests).
void clearCurrentBiosVersion();
