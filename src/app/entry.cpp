#include "app/entry.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/error_catalogue.h"
#include "app/installer.h"
#include "app/product_version.h"
#include "app/return_code.h"
#include "app/run_events.h"
#include "app/run_guards.h"
#include "app/run_record.h"
#include "app/update_sequence.h"
#include "console/file_ops.h"
#include "console/log_files.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "profiles/input_profile.h"
#include "settings/command_line.h"
#include "settings/fixed_names.h"
#include "settings/help.h"
#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "system/command_runner.h"
#include "system/system_info.h"
#include "system/tool_stage.h"

namespace {

// The exit code of "1017h", for failures that cannot be reported through the catalogue.
const int internalErrorExitCode = 1017;

const char* const banner = "\nME firmware updating tool v" MEFW_PRODUCT_VERSION "\n\n";

const char* const driverAdvice =
    "Please confirm that you have the latest ME software driver, Intel ME is enabled,\n"
    "you are running with administrator privileges and try again.\n"
    "If you are still having issues, then please contact Norvane Support.\n\n";

const char* const noticeAdvice =
    "If you feel that this is inaccurate please contact Norvane Support.\n\n";

// The objects one run works on, in the order they are made.
struct Run {
  std::unique_ptr<SystemInfo> systemInfo = std::make_unique<SystemInfo>();
  InputProfile selectedProfile;
  Installer installer;
  std::vector<InputProfile> profiles;
  int result = 0;
  bool updated = false;
  // Help screens leave no run record and write no event.
  bool helpShown = false;
  // A scan never pauses.
  bool scanning = false;
};

// Errors and notices are told apart by the text alone: a notice reads "CODE  nnnnn:".
bool isNotice(const std::string& message) {
  return message.size() > 10 && message[10] == 'n' && message[0] == 'C';
}

// A log that cannot be written must neither change the exit code nor stop the end of run;
// its failure text is shown as it is.
void writeLogGuarded(void (*writeLog)()) {
  try {
    writeLog();
  } catch (const std::string& failure) {
    platform::writeOutput(failure);
  }
}

int reportFailure(const std::string& message) {
  noteRunMessage(message);
  int result = extractReturnCode(message);
  if (isNotice(message)) {
    printMessage(message + "\n\n", "code");
    printMessage(noticeAdvice, "default");
    return result;
  }
  printMessage(message + "\n\n", "error");
  printMessage(driverAdvice, "default");
  writeLogGuarded(printErrorLog);
  // A deployment script must never count an error as a success.
  return result != 0 ? result : internalErrorExitCode;
}

void runFirmwareMode(Run& run) {
  if (runSettings().meInfoMode) {
    run.systemInfo->writeMeInfoLog();
    run.result = 1;
  } else if (runSettings().systemInfoMode) {
    queryBiosVersion();
    run.systemInfo->setBiosVersion(currentBiosVersion());
    // No existence check here: a tool that is not there is not copied, and its query, run in
    // the stage, finds no version.
    stageToolFolderIfThere(toolFolder, toolFileName);
    readInstalledFirmware(*run.systemInfo);
    run.systemInfo->showSystemInfo();
    run.result = 1;
  } else {
    UpdateOutcome outcome = runUpdateSequence(
        *run.systemInfo, run.installer.firmwareUpdater(), run.profiles, run.selectedProfile,
        run.scanning ? SequenceRun::scan : SequenceRun::update);
    if (outcome == UpdateOutcome::declined) run.result = 100;
    run.updated = outcome == UpdateOutcome::updated;
  }
}

// The diagnostic modes come first, as the modes are ordered; -scan changes nothing for them.
std::string firmwareModeName(const RunSettings& settings) {
  if (settings.meInfoMode) return "meinfo";
  if (settings.systemInfoMode) return "systeminfo";
  return scanFlag() ? "scan" : "update";
}

void runMode(const std::string& programPath, Run& run) {
  if (helpFlag()) {
    printHelp(programPath);
    run.helpShown = true;
    run.result = 1;
  } else if (superSecretHelpFlag()) {
    printSuperSecretHelp(programPath);
    run.helpShown = true;
    run.result = 1;
  } else {
    std::string mode = firmwareModeName(runSettings());
    run.scanning = mode == "scan";
    recordRunStart(mode);
    // The diagnostic modes talk to the firmware through Intel's tools as the update does.
    claimFirmwareAccess();
    runFirmwareMode(run);
  }
}

void runGuarded(int argc, char** argv, Run& run) {
  try {
    if (argc > 1) parseCommandLine(argc, argv);
    runMode(argc > 0 && argv[0] != nullptr ? argv[0] : "", run);
  } catch (const std::string& message) {
    run.result = reportFailure(message);
  } catch (const std::exception& failure) {
    run.result = reportFailure(formatError("1017h", {failure.what()}));
  } catch (...) {
    run.result = reportFailure(formatError("1017h", {"unknown exception"}));
  }
}

// The firmware is flashed by now; a stamp that cannot be written must be reported with a code
// of its own, so that a deployment script can tell it from a failed update.
void recordInstalledVersion(Run& run) {
  std::string failure;
  try {
    run.installer.firmwareUpdater().writeVersionStamp(run.selectedProfile.firmwareVersion);
    noteStampedFirmware(run.selectedProfile.firmwareVersion);
    return;
  } catch (const std::string& message) {
    failure = message;
  } catch (const std::exception& error) {
    failure = formatError("1017h", {error.what()});
  }
  if (failure.compare(0, 6, "ERROR ") == 0) failure.erase(0, 6);
  run.result = reportFailure(formatError("2014s", {failure}));
}

void restart() {
  if (silentFlag()) {
    platform::writeOutput("Rebooting the computer now.\n\n");
    rebootComputer(2);
  } else {
    platform::writeOutput("Rebooting the computer in 20 seconds\n\n");
    rebootComputer(20);
  }
}

// A restart would end whatever the flash left running, in the middle of what it does.
bool restartWanted(const Run& run) {
  bool leftover = currentRunRecord().flashLeftover.value_or(false);
  if (leftover) {
    printVerbose("A program the update tool started was still running " +
                     std::to_string(platform::flashLeftoverBound.count()) +
                     " seconds after the tool ended; its output is no longer read" +
                     (run.updated && rebootFlag() ? ", and the computer is not restarted" : "") +
                     ".\n",
                 "default");
  }
  return run.updated && rebootFlag() && !leftover;
}

void endRun(Run& run) {
  bool restarting = restartWanted(run);
  if (restarting) printVerbose("Rebooting computer shortly.\n", "default");
  if (logFlag()) writeLogGuarded(printRunLog);
  run.systemInfo.reset();
  if (run.updated) {
    run.result = 0;
    recordInstalledVersion(run);
    if (restarting) restart();
  }
  if (!run.helpShown) {
    recordRunEnd(run.result, restarting);
    writeRunEvent(runEndEvent());
  }
  // After the last record, which keeps what the tools wrote there.
  removeStage();
  platform::endStayThroughFlash();
  if (!silentFlag() && !run.scanning) pauseSeconds(30);
}

int runAll(int argc, char** argv) {
  Run run;
  beginRunRecord(argc, argv);
  printMessage(banner, "default");
  runGuarded(argc, argv, run);
  endRun(run);
  return run.result;
}

}  // namespace

int runInstaller(int argc, char** argv) {
  try {
    return runAll(argc, argv);
  } catch (...) {
    // Nothing else is left to report through: say it plainly and fail.
    platform::writeOutput("ERROR 1017h: Unexpected internal error: the run could not finish\n");
    return internalErrorExitCode;
  }
}
