// The planner: what the installer would do, silently, on a machine with a given BIOS version
// and installed firmware, found by running the installer's own steps in their order without
// touching the machine.
#pragma once

#include <string>

#include "profiles/input_profile.h"
#include "stamp/firmware_updater.h"

struct PlanRequest {
  std::string biosText;
  std::string installedVersion;
  bool force = false;
};

// What the steps found, filled as they run; a raised message stops them where it stands.
struct KitPlan {
  std::string biosVersion;
  std::string biosFamily;
  int profileIndex = -1;
  InputProfile profile;
  // "none", "met", or the code of the message that refused it; empty when not reached.
  std::string prerequisite;
  // "newer", "same version, forced", or the code of the message that refused it; empty when
  // not reached.
  std::string comparison;
  std::string commandLine;
  // The step that is running, for naming the outcome of one that raises.
  std::string runningStep;
  int exitCode = 0;
  // The message the run would end with; empty for a completed update.
  std::string message;
};

// Runs the steps of a silent update in the working folder; raises the first message the
// installer would raise. The force flag of the request must have been set before.
void planUpdate(const PlanRequest& request, const FirmwareUpdater& updater, KitPlan& plan);

// Completes the plan with the message a step raised: its code becomes the outcome of the step
// that raised it, and the exit code is the installer's.
void endPlanWith(KitPlan& plan, const std::string& message);
