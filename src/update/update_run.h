#pragma once

#include <string>

#include "stamp/firmware_updater.h"

// Runs Intel's update tool, as the updater names it, on the image in the firmware folder (with
// -allowsv under -force) and shows its progress. Returns only when the tool reported a
// completed update; raises "1000h", "3002n", "2013s" or the tool's error as
// "ERROR <number>u: <text>".
void runUpdate(const FirmwareUpdater& updater, std::string firmwareFile);

// The command line that runs the update tool on an image of the firmware folder.
std::string updateCommandLine(const FirmwareUpdater& updater, const std::string& firmwareFile);
