// The planner: what the installer would do, silently, on a machine with a given BIOS version
// and installed firmware, found by running the installer's own steps in their order without
// touching the machine.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "profiles/input_profile.h"
#include "stamp/firmware_updater.h"

// One machine as the installer would see it.
struct MachineState {
  // The BIOS Version string as the firmware holds it (what wmic shows in its column).
  std::string biosText;
  // What the update tool prints after "FW Version" for the installed firmware.
  std::string meText;
  // -force
  bool force = false;
};

// What the steps found, filled as they run; a raised message stops them where it stands.
struct KitPlan {
  std::string biosVersion;
  std::string biosFamily;
  int profileIndex = -1;
  InputProfile profile;
  // The installed version read from the machine's --me text.
  std::string installedVersion;
  // "none", "met", or the code of the message that refused it; empty when not reached.
  std::string prerequisite;
  // "newer", "same-forced", or the code of the message that refused it; empty when not
  // reached.
  std::string comparison;
  std::string commandLine;
  // The step that is running, for naming the outcome of one that raises.
  std::string runningStep;
  int exitCode = 0;
  // The code of the message the run would end with, such as "2010s"; empty for an update.
  std::string code;
  // The message the run would end with; empty for a completed update.
  std::string message;
  // Exit codes the machine's state or Intel's tool may still end the run with, which no plan
  // can foresee, in the order the installer could meet them.
  std::vector<int> mayAlsoEndWith;
};

// The BIOS version the installer stores for a BIOS Version string: laid out as wmic prints it,
// then picked out with the installer's pattern, in the string's own letter case. Nothing when it
// holds none.
std::optional<std::string> biosVersionFrom(const std::string& biosText);

// The installed version the installer reads when the update tool prints the text after
// "FW Version: ". Nothing when the text holds no version.
std::optional<std::string> installedVersionFrom(const std::string& meText);

// One machine under a Kitbox whose profiles are read already: the steps from the BIOS query on,
// with the update tool and the images looked for in the working folder. Never raises; the
// outcome is in the plan's exitCode, code and message. May be called once per machine: each
// machine's force flag decides for that machine alone.
KitPlan planMachine(const std::vector<InputProfile>& profiles, const MachineState& machine,
                    const FirmwareUpdater& updater);

// Reads the Kitbox's input.txt in the working folder, which the kit tool was given as
// `kitboxPath`, as the installer does before it looks at the machine. The plan every machine
// gets when the installer refuses the Kitbox itself (a network path, an input.txt error);
// nothing when the profiles were read.
std::optional<KitPlan> readKitboxProfiles(const std::string& kitboxPath,
                                          std::vector<InputProfile>& profiles);

// The whole silent run in the working folder, which the kit tool was given as `kitboxPath`:
// the network path refusal, input.txt, then planMachine.
KitPlan planKitbox(const std::string& kitboxPath, const MachineState& machine,
                   const FirmwareUpdater& updater);
