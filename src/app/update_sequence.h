#pragma once

#include <optional>
#include <vector>

#include "app/restart_pending.h"
#include "profiles/input_profile.h"
#include "stamp/firmware_updater.h"
#include "system/system_info.h"

// The profile meant for this machine's BIOS family (the BIOS version must have been read);
// raises "2010s" when there is none. Returns its index.
int selectProfile(const std::vector<InputProfile>& profiles, InputProfile& selectedProfile);

// The selected profile's BIOS prerequisite, when it names one: raises "2011s" or "2012s".
void checkPrerequisite(const InputProfile& selectedProfile);

// The installed version against the selected profile's: raises "3000n" for a downgrade,
// "3001n" for the same version without -force, and "1019h" for a Kitbox version the stamp
// cannot carry, all before anything is shown or flashed.
void checkVersions(const SystemInfo& systemInfo, const InputProfile& selectedProfile);

// The version query, noted in the run record with whether a restart is pending; returns the
// pending restart, if any.
std::optional<PendingRestart> readInstalledFirmware(SystemInfo& systemInfo);

// How far the sequence goes: the whole update, or a scan, which runs the same steps up to the
// question and stops there, having changed nothing: it writes no stamp (it only checks what the
// stamp write would refuse before writing), shows neither the upfront message nor the warning,
// asks nothing and flashes nothing.
enum class SequenceRun { update, scan };

enum class UpdateOutcome { updated, declined, scanned };

// The update mode, from input.txt to the flashed firmware, or the scan mode. Fills the profile
// list and the selected profile; every refusal is raised as a coded message.
UpdateOutcome runUpdateSequence(SystemInfo& systemInfo, FirmwareUpdater& updater,
                                std::vector<InputProfile>& profiles, InputProfile& selectedProfile,
                                SequenceRun run = SequenceRun::update);
