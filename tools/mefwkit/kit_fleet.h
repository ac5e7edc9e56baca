// The planner against a fleet: what a silent run would end with on each machine, how many
// machines would end with each exit code, what the machines' last runs said, and whether the
// fleet passes a publishing pipeline's gate.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mefwkit/kit_fleet_input.h"
#include "mefwkit/kit_plan.h"
#include "stamp/firmware_updater.h"

// One plan, shared by the machines with the same BIOS text and installed version.
struct SharedPlan {
  std::string biosFamily;
  int profileIndex = -1;
  bool needsInstalledVersion = false;
  int exitCode = 0;
  // The message the run would end with; empty for a completed update.
  std::string message;
  std::optional<JoinedDigits> joinedDigits;
};

// A machine listed apart because of what its records say; it is planned all the same.
struct Attention {
  std::size_t machine = 0;
  std::string why;
};

// What became of the signature check of Intel's tool.
enum class SignatureOutcome { checked, leftOut, notCheckable, notReached };

struct FleetPlan {
  FleetMachines machines;
  // Each machine's plan, as an index into `plans`.
  std::vector<std::size_t> planOf;
  std::vector<SharedPlan> plans;
  // The machines with a predicted exit code, per code.
  std::map<int, int> counts;
  // Indexes into `machines`.
  std::vector<std::size_t> needInstalledVersion;
  std::vector<std::size_t> joinedDigits;
  std::vector<Attention> attention;
  std::vector<FleetProblem> unreadable;
  SignatureOutcome signature = SignatureOutcome::notReached;
};

// Plans every machine under the Kitbox read once; machines that share a BIOS text and an
// installed version share one plan.
FleetPlan planFleet(Fleet fleet, const KitboxFacts& kitbox, const FirmwareUpdater& updater,
                    bool force, bool signatureLeftOut);

// What --expect and --allow-unreadable ask of the fleet.
struct FleetGate {
  std::vector<int> expected;
  int allowUnreadable = 0;
};

// Why the fleet fails the gate, one sentence each; empty when it passes. It fails when a
// machine would end with a code outside the expected ones, when more machines than admitted
// are unreadable or need the installed version, when no machine was planned, and when the
// signature of Intel's tool could not be checked and was not left out on purpose.
std::vector<std::string> gateFailures(const FleetPlan& plan, const FleetGate& gate);

// The machines grouped by outcome, those that need attention or the installed version, the
// prerequisites compared by joining digits, the unreadable rows and files, then a summary with
// a line per exit code and its meaning, and the gate's verdict when one was asked for.
std::string fleetText(const FleetPlan& plan,
                      const std::optional<std::vector<std::string>>& gate = std::nullopt);

// {"schema": 1, "toolVersion", "machines": [...], "counts": {...}, "needsInstalledVersion",
// "needsAttention", "joinedDigits", "unreadable", "signature", "gate"}
std::string fleetJson(const FleetPlan& plan,
                      const std::optional<std::vector<std::string>>& gate = std::nullopt);

// "0,3001" as exit codes; nothing when the text is not such a list.
std::optional<std::vector<int>> parseExpectedCodes(const std::string& text);

// A text from the input as the terminal may be given it: control characters escaped.
std::string shownText(const std::string& text);
