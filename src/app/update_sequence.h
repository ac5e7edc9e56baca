#pragma once

#include <vector>

#include "profiles/input_profile.h"
#include "stamp/firmware_updater.h"
#include "system/system_info.h"

enum class UpdateOutcome { updated, declined };

// The update mode, from input.txt to the flashed firmware. Fills the profile list and the
// selected profile; every refusal is raised as a coded message.
UpdateOutcome runUpdateSequence(SystemInfo& systemInfo, FirmwareUpdater& updater,
                                std::vector<InputProfile>& profiles, InputProfile& selectedProfile);
