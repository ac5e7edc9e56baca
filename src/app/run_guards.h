// The checks that must pass before Intel's tools are run against the firmware.
#pragma once

#include <string>

// The lowest battery charge, in percent, at which an update runs without mains power.
constexpr int minimumBatteryCharge = 25;

// True for a network path (\\server\share\..., \\?\UNC\server\share\... or
// \\?\GLOBALROOT\Device\Mup\server\share\...), which the command interpreter cannot use as its
// current folder. A mapped drive letter is a local path.
bool isNetworkPath(const std::string& folder);

// For every mode that runs Intel's tools, before any of them runs: refuses a Kitbox run from a
// network path ("2017s"), a second installer on the same computer, or the flash of one that was
// ended ("2015s"), and a guard that something stands in the way of ("2019s"). The installer
// lock claimed here is held until the process ends, and by the flash while it runs.
void claimFirmwareAccess();

// True once this run holds the one-instance guard, claimed by claimFirmwareAccess. The one fact
// by which the run record store tells a run that may write a run folder and prune old ones
// from a run that ended before it held the guard (refused, or stopped before it asked), which
// must never touch another run's record.
bool runHoldsGuard();
void resetRunHoldsGuard();

// Refuses an update on battery power below minimumBatteryCharge ("2016s"). Mains power, no
// battery and an unreadable power state all let it go on.
void checkPowerSupply();
