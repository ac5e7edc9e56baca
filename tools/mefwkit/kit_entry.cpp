#include "mefwkit/kit_entry.h"

#include <exception>
#include <string>

#include "app/error_catalogue.h"
#include "app/installer.h"
#include "app/product_version.h"
#include "app/run_guards.h"
#include "mefwkit/kit_check.h"
#include "mefwkit/kit_command_line.h"
#include "mefwkit/kit_fleet.h"
#include "mefwkit/kit_output.h"
#include "mefwkit/kit_plan.h"
#include "platform/platform.h"

namespace {

int complain(int status, const std::string& complaint) {
  platform::writeErrorOutput("mefwkit: " + complaint + "\n");
  return status;
}

// Under --json a script reads standard output, so the failure is told there too.
int fail(const KitArguments& arguments, int status, const std::string& complaint) {
  if (arguments.json) platform::writeOutput(failureJson(complaint));
  return complain(status, complaint);
}

int runCheck(const KitArguments& arguments) {
  KitReport report = checkKitbox();
  platform::writeOutput(arguments.json ? checkReportJson(report) : checkReportText(report));
  return checkExitStatus(report);
}

int showPlan(const KitArguments& arguments, const KitPlan& plan) {
  platform::writeOutput(arguments.json ? planJson(plan) : planText(plan));
  return plan.needsInstalledVersion ? kitNeedsInstalledVersionStatus : 0;
}

MachineState machineOf(const KitArguments& arguments) {
  std::optional<std::string> me;
  if (arguments.meGiven) me = arguments.meText;
  return {arguments.biosText, me, arguments.force};
}

PlanOptions planOptionsOf(const KitArguments& arguments) {
  return {arguments.allowUnsigned, !arguments.noSignatureCheck};
}

int runFleetPlan(const KitArguments& arguments, Fleet fleet, const FirmwareUpdater& updater) {
  KitboxFacts kitbox = readKitbox(arguments.kitbox, planOptionsOf(arguments));
  FleetPlan plan =
      planFleet(std::move(fleet), kitbox, updater, arguments.force, arguments.noSignatureCheck);
  std::optional<std::vector<std::string>> failures;
  if (!arguments.expect.empty()) {
    FleetGate gate{*parseExpectedCodes(arguments.expect),
                   parseAllowedCount(arguments.allowUnreadable).value_or(0)};
    failures = gateFailures(plan, gate);
  }
  platform::writeOutput(arguments.json ? fleetJson(plan, failures) : fleetText(plan, failures));
  return failures && !failures->empty() ? kitGateFailedStatus : 0;
}

int runCommand(const KitArguments& arguments) {
  // The installer's start-up set-up completes the error catalogue and makes the updater.
  Installer installer;
  bool plan = arguments.command == "plan";
  if (!arguments.expect.empty() && !parseExpectedCodes(arguments.expect)) {
    return fail(arguments, kitUsageErrorStatus, "--expect needs exit codes such as 0,3001");
  }
  // The machines are read before the Kitbox folder becomes the working folder, so that a
  // relative path means what it meant to the caller.
  Fleet fleet;
  if (!arguments.machines.empty()) {
    std::string problem = readFleet(arguments.machines, fleet);
    if (!problem.empty()) {
      return fail(arguments, kitUsageErrorStatus,
                  "cannot read the machines " + arguments.machines + ": " + problem);
    }
  }
  // The installer refuses a network path before it looks inside, so its plan needs no folder.
  bool networkKitbox = plan && isNetworkPath(arguments.kitbox);
  if (!networkKitbox && !arguments.kitbox.empty() &&
      !platform::changeWorkingFolder(arguments.kitbox)) {
    return fail(arguments, kitUsageErrorStatus,
                "cannot open the Kitbox folder " + arguments.kitbox);
  }
  if (!plan) return runCheck(arguments);
  if (!arguments.machines.empty()) {
    return runFleetPlan(arguments, std::move(fleet), installer.firmwareUpdater());
  }
  return showPlan(arguments, planKitbox(arguments.kitbox, machineOf(arguments),
                                        installer.firmwareUpdater(), planOptionsOf(arguments)));
}

}  // namespace

int runKitTool(int argc, char** argv) {
  KitArguments arguments;
  std::string complaint = parseKitArguments(argc, argv, arguments);
  if (!complaint.empty()) return complain(kitUsageErrorStatus, complaint);
  if (arguments.command == "help") {
    platform::writeOutput(kitHelpText(arguments.helpTopic));
    return 0;
  }
  if (arguments.command == "version") {
    platform::writeOutput("mefwkit " MEFW_PRODUCT_VERSION "\n");
    return 0;
  }
  try {
    return runCommand(arguments);
  } catch (const std::string& message) {
    return fail(arguments, kitInternalErrorStatus, message);
  } catch (const std::exception& failure) {
    return fail(arguments, kitInternalErrorStatus,
                std::string("internal error: ") + failure.what());
  } catch (...) {
    return fail(arguments, kitInternalErrorStatus, "internal error");
  }
}
