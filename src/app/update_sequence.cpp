#include "app/update_sequence.h"

#include "app/error_catalogue.h"
#include "app/run_guards.h"
#include "app/run_record.h"
#include "checks/bios_prerequisite.h"
#include "checks/version_compare.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "profiles/input_parser.h"
#include "profiles/platform_decoder.h"
#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "system/command_runner.h"
#include "system/tool_stage.h"
#include "update/confirmation.h"
#include "update/update_run.h"

namespace {

void showWarning(const SystemInfo& systemInfo, const InputProfile& selectedProfile) {
  printMessage(
      "Updating Management Engine firmware will require a reboot in order for the update to be "
      "effective.\nDO NOT SHUT DOWN, REBOOT, REMOVE POWER, OR INTERRUPT THE UPDATE.\nYour "
      "current ME version: " +
          systemInfo.getMeFirmwareVersion() +
          "\nUpdating  to ME version: " + selectedProfile.firmwareVersion + "\n\n",
      "default");
}

UpdateOutcome decline() {
  printMessage(
      "Please refer to the README.htm file for instructions to manually update your Management "
      "Engine firmware.\n",
      "default");
  printVerbose("Opening README.htm in default browser\n", "default");
  openReadme();
  return UpdateOutcome::declined;
}

}  // namespace

int selectProfile(const std::vector<InputProfile>& profiles, InputProfile& selectedProfile) {
  int index = matchInputProfile(profiles);
  if (index == -1) raiseError("2010s");
  selectedProfile = profiles[static_cast<std::size_t>(index)];
  return index;
}

void checkPrerequisite(const InputProfile& selectedProfile) {
  if (selectedProfile.getPrereqBios().empty()) {
    printVerbose("No prerequisite BIOS version\n\n", "default");
    return;
  }
  checkBiosPrerequisite(selectedProfile);
}

void checkVersions(const SystemInfo& systemInfo, const InputProfile& selectedProfile) {
  // Everything that can refuse the update is known before the upfront message and the question:
  // a version the stamp cannot record is refused before the flash, not after it.
  checkFirmwareIsNewer(systemInfo, selectedProfile);
  checkStampCanCarry(selectedProfile.firmwareVersion);
}

UpdateOutcome runUpdateSequence(SystemInfo& systemInfo, FirmwareUpdater& updater,
                                std::vector<InputProfile>& profiles,
                                InputProfile& selectedProfile) {
  loadInputProfiles(profiles);
  queryBiosVersion();
  int profileIndex = selectProfile(profiles, selectedProfile);
  noteProfile(profileIndex, selectedProfile.firmwareVersion);
  checkPrerequisite(selectedProfile);
  // The version query runs the update tool, so the tool is looked for first; it then runs
  // from the stage, as a copy checked there.
  checkFileExists(toolFolder, toolFileName);
  stageToolFolder(toolFolder, toolFileName);
  systemInfo.queryMeFirmwareVersion(fwVersionCommand);
  noteInstalledFirmware(systemInfo.getMeFirmwareVersion());
  printVerbose("Writing ME Firmware version to .sys file.\n", "default");
  updater.writeVersionStamp(systemInfo.getMeFirmwareVersion());
  noteStampedFirmware(systemInfo.getMeFirmwareVersion());
  checkVersions(systemInfo, selectedProfile);
  checkPowerSupply();
  showUpfrontMessage(selectedProfile);
  showWarning(systemInfo, selectedProfile);
  checkFileExists(firmwareFolder, selectedProfile.meFirmwareFile);
  // Copied before the question: what the user confirms is what is flashed.
  stageFirmwareImage(selectedProfile.meFirmwareFile);
  if (!silentFlag() && !askUserToUpdate()) return decline();
  recordFlashStart();
  runUpdate(updater, selectedProfile.meFirmwareFile);
  noteFlashCompleted();
  return UpdateOutcome::updated;
}
