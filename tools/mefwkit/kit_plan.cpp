#include "mefwkit/kit_plan.h"

#include "app/error_catalogue.h"
#include "app/return_code.h"
#include "app/run_guards.h"
#include "app/update_sequence.h"
#include "checks/bios_prerequisite.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "mefwkit/kit_tool_folder.h"
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

int digitGroups(const std::string& text) {
  int groups = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    bool digitBefore = i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9';
    if (digit && !digitBefore) ++groups;
  }
  return groups;
}

// The check reads all digits of each text as one number, the BIOS from its fifth character
// on: with different numbers of groups the numbers do not compare as versions.
void noteJoinedDigits(KitPlan& plan) {
  const std::string& prerequisite = plan.profile.getPrereqBios();
  std::string bios = plan.biosVersion.size() > 4 ? plan.biosVersion.substr(4) : "";
  if (prerequisite.empty() || digitGroups(bios) == digitGroups(prerequisite)) return;
  std::optional<int> biosNumber = digitsNumber(bios);
  std::optional<int> prereqNumber = digitsNumber(prerequisite);
  if (biosNumber && prereqNumber) plan.joinedDigits = {prerequisite, *biosNumber, *prereqNumber};
}

void checkPrerequisiteStep(KitPlan& plan) {
  plan.runningStep = "prerequisite";
  noteJoinedDigits(plan);
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

// Whether the run got as far as asking Intel's tool for the installed version.
bool reachedVersionQuery(const KitPlan& plan) {
  for (const char* step : {"bios", "profile", "prerequisite", "tool", "signature"}) {
    if (plan.runningStep == step) return false;
  }
  return true;
}

void endPlanWith(KitPlan& plan, const std::string& message) {
  plan.message = message;
  plan.exitCode = extractReturnCode(message);
  plan.code = message.size() > 10 ? message.substr(6, 5) : "";
  if (plan.runningStep == "prerequisite") plan.prerequisite = plan.code;
  if (plan.runningStep == "comparison") plan.comparison = plan.code;
  if (plan.runningStep == "signature") plan.signature = plan.code;
}

void throwIfSet(const std::string& message) {
  if (!message.empty()) throw message;
}

// The steps from the BIOS query to the version query, which the BIOS and the Kitbox decide;
// raises where the installer would.
void runBiosSteps(const KitboxFacts& kitbox, const std::string& biosText, KitPlan& plan) {
  plan.runningStep = "bios";
  std::optional<std::string> bios = biosVersionFrom(biosText);
  if (!bios) raiseError("2000s");
  takeBiosVersionFrom(*bios);
  plan.biosVersion = currentBiosVersion();
  plan.biosFamily = systemBiosFamily();
  chooseProfile(kitbox.profiles, plan);
  checkPrerequisiteStep(plan);
  plan.runningStep = "tool";
  throwIfSet(kitbox.toolMissing);
  plan.runningStep = "signature";
  throwIfSet(kitbox.toolRefused);
  plan.signature = kitbox.signatureChecked ? "passed" : "not checked";
  plan.runningStep = "version";
}

// The steps from the version query to the update tool's command line, which the profile and
// the installed version decide; raises where the installer would. False when the installed
// version is not known.
bool runFirmwareSteps(const KitboxFacts& kitbox, const std::optional<std::string>& meText,
                      bool force, const FirmwareUpdater& updater, KitPlan& plan) {
  if (!meText) return false;
  // A text without a version is what makes the installer end with 1015h.
  std::optional<std::string> installed = installedVersionFrom(*meText);
  if (!installed) raiseError("1015h");
  plan.installedVersion = *installed;
  compareVersions(*installed, force, plan);
  plan.runningStep = "image";
  throwIfSet(kitbox.imageMissing[static_cast<std::size_t>(plan.profileIndex)]);
  plan.commandLine = updateCommandLine(updater, plan.profile.meFirmwareFile);
  plan.runningStep.clear();
  return true;
}

void addUnforeseenByStep(KitPlan& plan) {
  if (plan.needsInstalledVersion) return addUnforeseen(plan, true, true, true);
  bool compared = plan.runningStep == "image" || plan.runningStep.empty();
  addUnforeseen(plan, reachedVersionQuery(plan), compared, plan.runningStep.empty());
}

// The message the installer ends with where it looks for a file, or "" when it is there.
std::string fileMissing(const std::string& folder, const std::string& file) {
  try {
    checkFileExists(folder, file);
  } catch (const std::string& message) {
    return message;
  }
  return "";
}

// The message the installer ends with where it looks for a profile's image and copies it into
// its private folder, or "" when it goes on.
std::string imageRefusal(const std::string& image) {
  std::string missing = fileMissing(firmwareFolder, image);
  if (!missing.empty()) return missing;
  return imageCopyRefusal(image).value_or("");
}

// Only a profile with platforms can be chosen, so only its image is ever looked for.
void lookForImages(KitboxFacts& kitbox) {
  for (const InputProfile& profile : kitbox.profiles) {
    bool chosen = !profile.getSupportedPlatforms().empty();
    kitbox.imageMissing.push_back(chosen ? imageRefusal(profile.meFirmwareFile) : "");
  }
}

// The tool's folder by the rules the installer applies to its private copy: links and size
// always, signatures unless the options leave them out.
void lookAtTool(KitboxFacts& kitbox, const PlanOptions& options) {
  kitbox.toolMissing = fileMissing(toolFolder, toolFileName);
  if (!kitbox.toolMissing.empty()) return;
  ToolFolderVerdict verdict =
      judgeToolFolder(toolFolder, toolFileName, options.checkSignature, options.allowUnsigned);
  kitbox.signatureChecked = options.checkSignature && verdict.signaturesChecked;
  kitbox.toolRefused = verdict.refusal.value_or("");
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

bool goesOnToVersionQuery(const KitPlan& plan) {
  return plan.message.empty() && plan.runningStep == "version";
}

KitPlan planBiosSteps(const KitboxFacts& kitbox, const std::string& biosText) {
  if (kitbox.refused) return *kitbox.refused;
  KitPlan plan;
  try {
    runBiosSteps(kitbox, biosText, plan);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
    addUnforeseenByStep(plan);
  }
  return plan;
}

KitPlan planFirmwareSteps(const KitboxFacts& kitbox, KitPlan plan,
                          const std::optional<std::string>& meText, bool force,
                          const FirmwareUpdater& updater) {
  if (!goesOnToVersionQuery(plan)) return plan;
  try {
    plan.needsInstalledVersion = !runFirmwareSteps(kitbox, meText, force, updater, plan);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
  }
  addUnforeseenByStep(plan);
  return plan;
}

KitPlan planMachine(const KitboxFacts& kitbox, const MachineState& machine,
                    const FirmwareUpdater& updater) {
  return planFirmwareSteps(kitbox, planBiosSteps(kitbox, machine.biosText), machine.meText,
                           machine.force, updater);
}

KitboxFacts readKitbox(const std::string& kitboxPath, const PlanOptions& options) {
  KitboxFacts kitbox;
  KitPlan plan;
  try {
    // The installer refuses a network path before it reads anything.
    if (isNetworkPath(kitboxPath)) raiseError("2017s", {kitboxPath});
    std::string folder = platform::workingFolder();
    if (isNetworkPath(folder)) raiseError("2017s", {folder});
    plan.runningStep = "input";
    loadInputProfiles(kitbox.profiles);
  } catch (const std::string& message) {
    endPlanWith(plan, message);
    addUnforeseen(plan, false, false, false);
    if (plan.code == "2017s") plan.mayAlsoEndWith.clear();
    kitbox.refused = plan;
    kitbox.profiles.clear();
    return kitbox;
  }
  lookAtTool(kitbox, options);
  lookForImages(kitbox);
  // The steps' verbose lines are of no use here.
  resetRunLog();
  return kitbox;
}

KitPlan planKitbox(const std::string& kitboxPath, const MachineState& machine,
                   const FirmwareUpdater& updater, const PlanOptions& options) {
  return planMachine(readKitbox(kitboxPath, options), machine, updater);
}
