// Finding the installed SOL driver's version: the device and driver lists name the driver's
// INF file, whose DriverVer line holds the version.
#pragma once

#include <string>

// The INF path of the last compatible driver, over all present devices, whose description
// contains "SOL"; "error" when there is none. DAL drivers are noticed but not kept.
std::string findSolDriverInf();

// The version on the first DriverVer line of the INF file (after its date and comma);
// "Unknown" when the file cannot be opened or has no such line.
std::string readInfDriverVersion(std::string infPath);

// A narrow text of the same length: the low eight bits of each UTF-16 code unit.
std::string narrowText(const std::u16string& text);
