#include "mefwkit/kit_plan.h"

#include "app/error_catalogue.h"
#include "app/return_code.h"
#include "app/run_guards.h"
#include "app/update_sequence.h"
#include "console/file_ops.h"
#include "platform/platform.h"
#include "profiles/input_parser.h"
#include "profiles/platform_decoder.h"
#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "system/system_info.h"
#include "system/tool_output_scan.h"
#include "system/wmic_layout.h"
#include "update/update_run.h"

namespace {

// What the installer reads when the tool prints the text after its "FW Version" label.
const char* const firmwareVersionLabel = "FW Version: ";

void chooseProfile(const std::vector<InputProfile>& profiles, KitPlan& plan) {
  plan.runningStep = "profile";
  plan.profileIndex = selectProfile(profiles, plan.profile);
}

void checkPrerequisiteStep(KitPlan& plan) {
  plan.runningStep = "prerequisite";
  checkPrerequisite(plan.profile);
  plan.prerequisite = plan.profile.getPrereqBios().empty() ? "none" : "met";
}

// The installer writes the stamp with the installed version before it compares, and refuses a
// Kitbox version the stamp cannot carry with the comparison.
void compareVersions(const std::string& installedVersion, bool force, KitPlan& plan) {
  plan.runningStep = "comparison";
  if (std::optional<std::string> problem = stampVersionProblem(installedVersion)) throw *problem;
  bool same = installedVersion == plan.profile.firmwareVersion;
  if (same && !force) raiseError("3001n", {installedVersion});
  if (force && !sameVersionFlag()) setSameVersionFlag();
  SystemInfo systemInfo;
  systemInfo.meFirmwareVersion = installedVersion;
  checkVersions(systemInfo, plan.profile);
  plan.comparison = same ? "same-forced" : "newer";
}

// The codes no plan can foresee, by how far the run gets: another installer, or something in
// the guard's way, from the start; the machine's copy of Intel's tool (its signature, its
// copy into the stage, its answer) and the stamp from the version query on; the power supply once
// the versions are compared; the update itself last.
void addUnforeseen(KitPlan& plan, bool queried, bool compared, bool updates) {
  plan.mayAlsoEndWith = {2015, 2019};
  if (queried) {
    plan.mayAlsoEndWith.insert(plan.mayAlsoEndWith.end(), {2018, 2020, 4000, 2001, 2003});
  }
  if (compared) plan.mayAlsoEndWith.push_back(2016);
  if (updates) plan.mayAlsoEndWith.insert(plan.mayAlsoEndWith.end(), {4001, 3002, 2013});
}

// Whether the run got as far as asking Intel's tool for the installed version: past the
// prerequisite, with the tool in its place.
bool reachedVersionQuery(const KitPlan& plan) {
  if (plan.runningStep == "tool") return plan.code != "1002h";
  return plan.runningStep != "bios" && plan.runningStep != "profile" &&
         plan.runningStep != "prerequisite";
}

void endPlanWith(KitPlan& plan, const std::string& message) {
  plan.message = message;
  plan.exitCode = extractReturnCode(message);
  plan.code = message.size() > 10 ? message.substr(6, 5) : "";
  if (plan.runningStep == "prerequisite") plan.prerequisite = plan.code;
  if (plan.runningStep == "comparison") plan.comparison = plan.code;
}

// The steps from the BIOS query to the update tool's command line; raises where the
// installer would.
void runMachineSteps(const std::vector<InputProfile>& profiles, const MachineState& machine,
                     const FirmwareUpdater& updater, KitPlan& plan) {
  plan.runningStep = "bios";
  std::optional<std::string> bios = biosVersionFrom(machine.biosText);
  if (!bios) raiseError("2000s");
  takeBiosVersionFrom(*bios);
  plan.biosVersion = currentBiosVersion();
  plan.biosFamily = systemBiosFamily();
  chooseProfile(profiles, plan);
  checkPrerequisiteStep(plan);
  plan.runningStep = "tool";
  checkFileExists(toolFolder, toolFileName);
  // A text without a version is what makes the installer end with 1015h.
  std::optional<std::string> installed = installedVersionFrom(machine.meText);
  if (!installed) raiseError("1015h");
  plan.installedVersion = *installed;
  compareVersions(*installed, machine.force, plan);
  plan.runningStep = "image";
  checkFileExists(firmwareFolder, plan.profile.meFirmwareFile);
  plan.commandLine = updateCommandLine(updater, plan.profile.meFirmwareFile);
  plan.runningStep.clear();
}

}  // namespace

std::optional<std::string> biosVersionFrom(const std::string& biosText) {
  return findBiosVersion(wmicBiosVersionLayout(biosText));
}

std::optional<std::string> installedVersionFrom(const std::string& meText) {
  std::string output = firmwareVersionLabel + meText;
  std::optional<TextMatch> found = matchFirmwareVersion(output);
  if (!found) return std::nullopt;
  return spanText(output, found->group1);
}

KitPlan planMachine(const std::vector<InputProfile>& profiles, const MachineState& machine,
                    const FirmwareUpdater& updater) {
  KitPlan plan;
  try {
    runMachineSteps(profiles, machine, updater, plan);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
  }
  bool compared = plan.runningStep == "image" || plan.runningStep.empty();
  addUnforeseen(plan, reachedVersionQuery(plan), compared, plan.runningStep.empty());
  return plan;
}

std::optional<KitPlan> readKitboxProfiles(const std::string& kitboxPath,
                                          std::vector<InputProfile>& profiles) {
  KitPlan plan;
  try {
    // The installer refuses a network path before it reads anything.
    if (isNetworkPath(kitboxPath)) raiseError("2017s", {kitboxPath});
    std::string folder = platform::workingFolder();
    if (isNetworkPath(folder)) raiseError("2017s", {folder});
    plan.runningStep = "input";
    loadInputProfiles(profiles);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
    addUnforeseen(plan, false, false, false);
    if (plan.code == "2017s") plan.mayAlsoEndWith.clear();
    return plan;
  }
  return std::nullopt;
}

KitPlan planKitbox(const std::string& kitboxPath, const MachineState& machine,
                   const FirmwareUpdater& updater) {
  std::vector<InputProfile> profiles;
  if (std::optional<KitPlan> refused = readKitboxProfiles(kitboxPath, profiles)) return *refused;
  return planMachine(profiles, machine, updater);
}
