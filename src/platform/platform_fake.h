// Control over the scripted platform that the unit tests link instead of the real one. Files
// stay real (the tests run in a temporary folder); everything else is scripted and recorded.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct FakeDriver {
  std::u16string description;
  std::u16string infPath;
  bool detailFails = false;
};

struct FakeDevice {
  bool driverListFails = false;
  std::vector<FakeDriver> drivers;
};

struct FakeSignatureCheck {
  std::string path;
  // How many pipes had been opened when the check was made.
  std::size_t pipesOpenedBefore = 0;
};

struct FakeEvent {
  EventLevel level = EventLevel::information;
  unsigned id = 0;
  std::vector<std::string> strings;
};

struct FakePlatform {
  // What the console reports at start; nothing means "no console".
  std::optional<int> startAttributes;
  // Every attribute set, in order.
  std::vector<int> attributesSet;
  // Everything written to standard output.
  std::string output;
  // How much of `output` has reached the console. Text written with Flush::beforeWaiting
  // stays behind until a write with Flush::now or until the program waits: when a pipe is
  // opened, read (every read is taken to wait) or closed, when input is read, or when a
  // command is run or a document opened.
  std::size_t outputShown = 0;
  // Everything written to standard error.
  std::string errorOutput;
  // Words that standard input will deliver, in order; input ends after the last.
  std::vector<std::string> inputWords;
  std::size_t inputWordsRead = 0;
  // Output of each command line that can be piped; a command line that is not listed
  // cannot be opened, like a pipe whose interpreter fails to start.
  std::map<std::string, std::string> commandOutput;
  // A pipe on this command line throws instead of opening, to test failures that are not
  // error messages.
  std::string throwingCommand;
  // Command lines of every pipe opened (or attempted), in order, and the time limit, role and
  // working folder of each.
  std::vector<std::string> pipesOpened;
  std::vector<std::string> pipeWorkingFolders;
  std::vector<TimeLimit> pipeTimeLimits;
  std::vector<CommandRole> pipeRoles;
  // Commands whose output passes the query cap: their scripted output is handed out, then
  // they are ended as at their time limit.
  std::set<std::string> cappedCommands;
  // Commands that never end: their scripted output is handed out, then their time limit
  // passes. Without a limit the program would wait forever; the fake throws instead.
  std::set<std::string> hangingCommands;
  // How many of the next pipes fail to start, whatever their command, like a start refused
  // for a moment by a busy system.
  int pipeStartFailures = 0;
  // How many of the next pipes that open report, once read, that the interpreter could not
  // start their command (exit status 127 or 9009).
  int commandsNotFound = 0;
  // Whether a flash, once its output has ended, reports that it left something running.
  bool flashLeavesSomethingRunning = false;
  // Whether the installer stays through a flash now (stayThroughFlash).
  bool stayingThroughFlash = false;
  // Every pause of pauseMilliseconds, in order.
  std::vector<unsigned> pauses;
  // The raw SMBIOS table readSmbiosTable hands out; nothing means it cannot be read.
  std::optional<std::string> smbiosTable;
  int smbiosTableReads = 0;
  // Command lines handed to runAndWait, in order.
  std::vector<std::string> commandsRun;
  // Documents handed to openDocument, in order.
  std::vector<std::string> documentsOpened;
  std::map<std::string, std::string> environment;
  // The devices the driver walk finds, and how many device lists were opened and released.
  std::vector<FakeDevice> devices;
  int deviceListsOpened = 0;
  int deviceListsReleased = 0;
  // Actions run when a pipe on a command line opens, to change the world in the middle of a
  // run (a file that becomes unwritable while the tool runs).
  std::map<std::string, std::function<void()>> pipeOpenActions;

  // How Windows' own programs are named; wmic is missing when it holds nothing.
  std::optional<std::string> wmicProgram = "wmic";
  std::string timeoutProgram = "Timeout";
  std::string shutdownProgram = "c:\\windows\\system32\\shutdown";
  std::string systemProgramsFolder = "C:\\Windows\\System32";
  // The signature each program path carries; a path not listed is signed by Intel.
  std::map<std::string, Signature> signatures;
  // Every signature check, in order.
  std::vector<FakeSignatureCheck> signatureChecks;

  // What is looked at before the firmware is touched.
  InstallerLockClaim installerLock;
  int installerLockClaims = 0;
  std::optional<int> batteryOnlyCharge;
  int powerQueries = 0;
  std::string workingFolder = "C:\\Kitbox";

  // The state folder's place (relative to the test's folder), its folders made for real;
  // empty: it is unknown, and stateFolderProblem says why. stateVendor: its vendor folder.
  std::string stateVendor;
  std::string stateFolder = "state";
  std::string stateFolderProblem;
  // What the system says of folders (as the program names them); a folder not listed is made
  // for real and is this account's, with no rights for others.
  std::map<std::string, FolderFacts> folderFacts;
  // Every folder renamed, as "from -> to".
  std::vector<std::string> foldersRenamed;
  unsigned long processId = 4242;
  std::string computerName = "NORVANE-PC";
  // Every file opened for reading, as the program named it, in order.
  std::vector<std::string> filesOpened;
  // When the machine last started; nothing: it cannot be told.
  std::optional<std::time_t> bootTime;

  // The event log: the folder of every registration and every event written. A registration
  // fails with eventSourceProblem, a report with eventProblem, unless it is empty.
  std::vector<std::string> eventSourceRegistrations;
  std::string eventSourceProblem;
  std::vector<FakeEvent> events;
  std::string eventProblem;

  // The stages: each makeStageFolder makes the first free "stage-<n>" for real in the test's
  // folder, unless stageProblem says why it cannot. leftStages: what leftStageFolders finds.
  std::string stageProblem;
  std::vector<std::string> stagesMade;
  std::vector<std::string> leftStages;
};

// The process-wide fake.
FakePlatform& fakePlatform();

// Empties the fake: nothing scripted, nothing recorded.
void resetFakePlatform();

}  // namespace platform
