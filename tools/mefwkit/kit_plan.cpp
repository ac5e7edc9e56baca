#include "mefwkit/kit_plan.h"

#include <vector>

#include "app/error_catalogue.h"
#include "app/return_code.h"
#include "app/update_sequence.h"
#include "checks/version_compare.h"
#include "console/file_ops.h"
#include "profiles/input_parser.h"
#include "profiles/platform_decoder.h"
#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "system/system_info.h"
#include "update/update_run.h"

namespace {

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
void compareVersions(const std::string& installedVersion, KitPlan& plan) {
  plan.runningStep = "comparison";
  if (std::optional<std::string> problem = stampVersionProblem(installedVersion)) throw *problem;
  SystemInfo systemInfo;
  systemInfo.meFirmwareVersion = installedVersion;
  checkVersions(systemInfo, plan.profile);
  bool same = installedVersion == plan.profile.firmwareVersion;
  plan.comparison = same ? "same version, forced" : "newer";
}

}  // namespace

void planUpdate(const PlanRequest& request, const FirmwareUpdater& updater, KitPlan& plan) {
  std::vector<InputProfile> profiles;
  plan.runningStep = "input";
  loadInputProfiles(profiles);
  plan.runningStep = "bios";
  takeBiosVersionFrom(request.biosText);
  plan.biosVersion = currentBiosVersion();
  plan.biosFamily = systemBiosFamily();
  chooseProfile(profiles, plan);
  checkPrerequisiteStep(plan);
  plan.runningStep = "tool";
  checkFileExists(toolFolder, toolFileName);
  compareVersions(request.installedVersion, plan);
  plan.runningStep = "image";
  checkFileExists(firmwareFolder, plan.profile.meFirmwareFile);
  plan.commandLine = updateCommandLine(updater, plan.profile.meFirmwareFile);
  plan.runningStep.clear();
}

void endPlanWith(KitPlan& plan, const std::string& message) {
  plan.message = message;
  plan.exitCode = extractReturnCode(message);
  std::string code = message.size() > 10 ? message.substr(6, 5) : "";
  if (plan.runningStep == "prerequisite") plan.prerequisite = code;
  if (plan.runningStep == "comparison") plan.comparison = code;
}
