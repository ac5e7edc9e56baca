#include "mefwkit/kit_entry.h"

#include <exception>
#include <string>

#include "app/error_catalogue.h"
#include "app/installer.h"
#include "mefwkit/kit_check.h"
#include "mefwkit/kit_command_line.h"
#include "mefwkit/kit_fleet.h"
#include "mefwkit/kit_output.h"
#include "mefwkit/kit_plan.h"
#include "platform/platform.h"
#include "settings/run_settings.h"

namespace {

const int usageErrorStatus = 64;
// Failures of the tool itself, as opposed to problems of the Kitbox.
const int internalErrorStatus = 70;

int complain(int status, const std::string& complaint) {
  platform::writeErrorOutput("mefwkit: " + complaint + "\n");
  return status;
}

int runCheck(const KitArguments& arguments) {
  KitReport report = checkKitbox();
  platform::writeOutput(arguments.json ? checkReportJson(report) : checkReportText(report));
  return checkExitStatus(report);
}

int showPlan(const KitArguments& arguments, const KitPlan& plan) {
  platform::writeOutput(arguments.json ? planJson(plan) : planText(plan));
  return 0;
}

int runPlan(const KitArguments& arguments, const FirmwareUpdater& updater) {
  KitPlan plan;
  try {
    if (arguments.force) setSameVersionFlag();
    planUpdate({arguments.biosText, arguments.installedVersion, arguments.force}, updater, plan);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
  }
  return showPlan(arguments, plan);
}

int runFleetPlan(const KitArguments& arguments, const Fleet& fleet,
                 const FirmwareUpdater& updater) {
  std::optional<std::vector<int>> expected;
  if (!arguments.expect.empty()) expected = parseExpectedCodes(arguments.expect);
  if (arguments.force) setSameVersionFlag();
  FleetPlan plan = planFleet(fleet, updater, arguments.force);
  platform::writeOutput(arguments.json ? fleetJson(plan) : fleetText(plan));
  return expected && !fleetMeetsExpectation(plan, *expected) ? 1 : 0;
}

int runCommand(const KitArguments& arguments) {
  // The installer's start-up set-up completes the error catalogue and makes the updater.
  Installer installer;
  // The machines are read before the Kitbox folder becomes the working folder, so that a
  // relative path means what it meant to the caller.
  Fleet fleet;
  if (!arguments.machines.empty() && !readFleet(arguments.machines, fleet)) {
    return complain(usageErrorStatus, "cannot read the machines " + arguments.machines);
  }
  if (!arguments.expect.empty() && !parseExpectedCodes(arguments.expect)) {
    return complain(usageErrorStatus, "--expect needs exit codes such as 0,3001");
  }
  if (!arguments.kitbox.empty() && !platform::changeWorkingFolder(arguments.kitbox)) {
    return complain(usageErrorStatus, "cannot open the Kitbox folder " + arguments.kitbox);
  }
  if (arguments.command == "check") return runCheck(arguments);
  if (!arguments.machines.empty()) {
    return runFleetPlan(arguments, fleet, installer.firmwareUpdater());
  }
  return runPlan(arguments, installer.firmwareUpdater());
}

}  // namespace

int runKitTool(int argc, char** argv) {
  KitArguments arguments;
  std::string complaint = parseKitArguments(argc, argv, arguments);
  if (!complaint.empty()) return complain(usageErrorStatus, complaint);
  if (arguments.command == "help") {
    platform::writeOutput(kitUsageText);
    return 0;
  }
  try {
    return runCommand(arguments);
  } catch (const std::string& message) {
    return complain(internalErrorStatus, message);
  } catch (const std::exception& failure) {
    return complain(internalErrorStatus, std::string("internal error: ") + failure.what());
  } catch (...) {
    return complain(internalErrorStatus, "internal error");
  }
}
