// A flash that waits for a restart. The firmware runs the version it had until the machine
// restarts, so a run between a flash and that restart reads the old version back; the stamp
// must not then go back to it, or detection finds the machine un-updated and runs the update
// again and again.
#pragma once

#include <ctime>
#include <optional>
#include <string>

struct PendingRestart {
  // The firmware that was flashed, and when its flash ended (as its record gives it).
  std::string version;
  std::string installedAt;
};

// A restart is pending when last-flash.json holds a finished run that ended after the machine
// last started and either completed its flash or found a restart pending itself (its own flash
// then cannot complete), and the installed version reads older than the firmware that run
// flashed or kept in the stamp. Nothing otherwise, also when the record, the boot time or a
// version cannot be read.
std::optional<PendingRestart> pendingRestart(const std::string& installedVersion);

// The same decision from a last-flash.json text and the boot time, for tests.
std::optional<PendingRestart> pendingRestartFrom(const std::string& lastFlashJson,
                                                 std::optional<std::time_t> bootTime,
                                                 const std::string& installedVersion);
