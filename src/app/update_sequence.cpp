#include "app/update_sequence.h"

#include "app/error_catalogue.h"
#include "app/run_events.h"
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

// Step 8: the stamp gets the installed version, unless a flash waits for a restart: then it
// keeps the flashed one, so that it never goes back to the version still running until then.
void stampInstalledFirmware(const SystemInfo& systemInfo, const FirmwareUpdater& updater,
                            const std::optional<PendingRestart>& pending, SequenceRun run) {
  std::string version = systemInfo.getMeFirmwareVersion();
  if (pending) {
    printVerbose("A restart is pending: firmware " + pending->version + ", installed at " +
                     pending->installedAt + ", runs after it.\n",
                 "default");
    version = pending->version;
  }
  if (run == SequenceRun::scan) {
    updater.checkVersionStamp(version);
    return;
  }
  printVerbose("Writing ME Firmware version to .sys file.\n", "default");
  updater.writeVersionStamp(version);
  noteStampedFirmware(version);
}

UpdateOutcome scanned(const SystemInfo& systemInfo, const InputProfile& selectedProfile) {
  printMessage("Scan: this computer would be updated from " + systemInfo.getMeFirmwareVersion() +
                   " to " + selectedProfile.firmwareVersion + ".\n",
               "default");
  return UpdateOutcome::scanned;
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

std::optional<PendingRestart> readInstalledFirmware(SystemInfo& systemInfo) {
  systemInfo.queryMeFirmwareVersion(fwVersionCommand);
  std::string installed = systemInfo.getMeFirmwareVersion();
  noteInstalledFirmware(installed);
  std::optional<PendingRestart> pending = pendingRestart(installed);
  noteRestartPending(pending.has_value());
  return pending;
}

// One sequence for the update and the scan, so that a scan answers with exactly the code the
// update would reach before its flash.
UpdateOutcome runUpdateSequence(SystemInfo& systemInfo, FirmwareUpdater& updater,
                                std::vector<InputProfile>& profiles, InputProfile& selectedProfile,
                                SequenceRun run) {
  bool scan = run == SequenceRun::scan;
  loadInputProfiles(profiles);
  queryBiosVersion();
  int profileIndex = selectProfile(profiles, selectedProfile);
  noteProfile(profileIndex, selectedProfile.firmwareVersion);
  checkPrerequisite(selectedProfile);
  // The version query runs the update tool, so the tool is looked for first; it then runs
  // from the stage, as a copy checked there.
  checkFileExists(toolFolder, toolFileName);
  stageToolFolder(toolFolder, toolFileName);
  std::optional<PendingRestart> pending = readInstalledFirmware(systemInfo);
  stampInstalledFirmware(systemInfo, updater, pending, run);
  checkVersions(systemInfo, selectedProfile);
  checkPowerSupply();
  if (!scan) {
    showUpfrontMessage(selectedProfile);
    showWarning(systemInfo, selectedProfile);
  }
  checkFileExists(firmwareFolder, selectedProfile.meFirmwareFile);
  // Copied before the question: what the user confirms is what is flashed.
  stageFirmwareImage(selectedProfile.meFirmwareFile);
  if (scan) return scanned(systemInfo, selectedProfile);
  if (!silentFlag() && !askUserToUpdate()) return decline();
  recordFlashStart();
  writeRunEvent(flashStartEvent());
  runUpdate(updater, selectedProfile.meFirmwareFile);
  noteFlashCompleted();
  return UpdateOutcome::updated;
}
