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
  // What the update tool prints after "FW Version" for the installed firmware; nothing when it
  // is not known, and the plan then stops where the installer would ask the tool for it.
  std::optional<std::string> meText;
  // -force
  bool force = false;
};

// How a plan treats Intel's update tool.
struct PlanOptions {
  // -allowunsigned: a lab run, in which a tool without any signature runs.
  bool allowUnsigned = false;
  // False leaves the tool's signature out of the plan (--no-signature-check).
  bool checkSignature = true;
};

// A BIOS prerequisite compared with the machine's BIOS when the two hold different numbers of
// digit groups: all digits of each are joined into one number, so "01.08" (108) passes a BIOS
// "01.07.05" (10705).
struct JoinedDigits {
  std::string prereqBios;
  int biosNumber = 0;
  int prereqNumber = 0;
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
  // "passed", "not checked" (a build that cannot, or --no-signature-check), or "2018s"; empty
  // when not reached.
  std::string signature;
  std::string commandLine;
  // The step that is running, for naming the outcome of one that raises.
  std::string runningStep;
  // True when the run would go on to ask Intel's tool for the installed version, which the
  // plan was not given: exitCode, code and message then say nothing.
  bool needsInstalledVersion = false;
  int exitCode = 0;
  // The code of the message the run would end with, such as "2010s"; empty for an update.
  std::string code;
  // The message the run would end with; empty for a completed update.
  std::string message;
  // Set when the prerequisite was compared by joining digits across groups.
  std::optional<JoinedDigits> joinedDigits;
  // Exit codes the machine's state or Intel's tool may still end the run with, which no plan
  // can foresee, in the order the installer could meet them.
  std::vector<int> mayAlsoEndWith;
};

// What a plan reads of the Kitbox, once, however many machines it plans: the profiles, which
// of the files the installer looks for are there, and the verdict on Intel's update tool.
struct KitboxFacts {
  // The plan every machine gets when the installer refuses the Kitbox itself (a network path,
  // an input.txt error); the rest is then empty.
  std::optional<KitPlan> refused;
  std::vector<InputProfile> profiles;
  // The messages the installer would end with where it looks for the update tool, copies and
  // checks its folder (links, size, signatures), and looks for and copies each profile's image
  // (by profile index); empty where it goes on.
  std::string toolMissing;
  std::string toolRefused;
  std::vector<std::string> imageMissing;
  // Whether the tool's signature was checked: not on a build that cannot check signatures
  // (POSIX), nor when the options leave it out.
  bool signatureChecked = false;
};

// The BIOS version the installer stores for a BIOS Version string: laid out as wmic prints it,
// then picked out with the installer's pattern, in the string's own letter case. Nothing when it
// holds none.
std::optional<std::string> biosVersionFrom(const std::string& biosText);

// The installed version the installer reads when the update tool prints the text after
// "FW Version: ". Nothing when the text holds no version.
std::optional<std::string> installedVersionFrom(const std::string& meText);

// Reads the Kitbox in the working folder, which the kit tool was given as `kitboxPath`, as the
// installer does before and while it looks at a machine: the network path refusal, input.txt,
// the update tool, its signature and the images.
KitboxFacts readKitbox(const std::string& kitboxPath, const PlanOptions& options);

// One machine under a Kitbox read already: the steps from the BIOS query on. Never raises and
// opens no file; the outcome is in the plan's exitCode, code and message. May be called once
// per machine: each machine's force flag decides for that machine alone.
KitPlan planMachine(const KitboxFacts& kitbox, const MachineState& machine,
                    const FirmwareUpdater& updater);

// planMachine in its two halves, for a fleet that shares them among its machines: the steps
// up to the version query, which the BIOS text and the Kitbox decide, then the rest, which the
// chosen profile and the installed version decide. The second half changes only a plan that
// goes on to the version query.
KitPlan planBiosSteps(const KitboxFacts& kitbox, const std::string& biosText);
bool goesOnToVersionQuery(const KitPlan& plan);
KitPlan planFirmwareSteps(const KitboxFacts& kitbox, KitPlan plan,
                          const std::optional<std::string>& meText, bool force,
                          const FirmwareUpdater& updater);

// The whole silent run in the working folder, which the kit tool was given as `kitboxPath`.
KitPlan planKitbox(const std::string& kitboxPath, const MachineState& machine,
                   const FirmwareUpdater& updater, const PlanOptions& options = {});
