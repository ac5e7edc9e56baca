#pragma once

#include <vector>

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

enum class UpdateOutcome { updated, declined };

// The update mode, from input.txt to the flashed firmware. Fills the profile list and the
// selected profile; every refusal is raised as a coded message.
UpdateOutcome runUpdateSequence(SystemInfo& systemInfo, FirmwareUpdater& updater,
                                std::vector<InputProfile>& profiles, InputProfile& selectedProfile);
