// The planner against a fleet: what a silent run would end with on each machine, and how many
// machines would end with each exit code.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mefwkit/kit_fleet_input.h"
#include "stamp/firmware_updater.h"

struct FleetOutcome {
  std::string name;
  int exitCode = 0;
  // The message the run would end with; empty for a completed update.
  std::string message;
};

struct FleetPlan {
  std::vector<FleetOutcome> outcomes;
  std::map<int, int> counts;
  std::vector<FleetProblem> unreadable;
};

// Plans every machine with the per-machine planner in the working folder, the Kitbox the kit
// tool was given as `kitboxPath`. Machines that share a BIOS text and a firmware version share
// one plan.
FleetPlan planFleet(const Fleet& fleet, const std::string& kitboxPath,
                    const FirmwareUpdater& updater, bool force);

// One line per machine (name, exit code, message code), then the count per exit code, then the
// unreadable rows and files.
std::string fleetText(const FleetPlan& plan);

// {"schema": 1, "toolVersion", "machines": [...], "counts": {...}, "unreadable": [...]}
std::string fleetJson(const FleetPlan& plan);

// "0,3001" as exit codes; nothing when the text is not such a list.
std::optional<std::vector<int>> parseExpectedCodes(const std::string& text);

// True when every machine's exit code is one of the expected.
bool fleetMeetsExpectation(const FleetPlan& plan, const std::vector<int>& expected);
