#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/file_opens.h"
#include "platform/platform.h"
#include "platform/platform_fake.h"

namespace platform {

FakePlatform& fakePlatform() {
  static FakePlatform fake;
  return fake;
}

void resetFakePlatform() { fakePlatform() = FakePlatform{}; }

std::optional<int> consoleStartAttributes() { return fakePlatform().startAttributes; }

void setConsoleAttribute(int attribute) { fakePlatform().attributesSet.push_back(attribute); }

namespace {

void flushOutput() {
  FakePlatform& fake = fakePlatform();
  fake.outputShown = fake.output.size();
}

}  // namespace

void writeOutput(std::string_view text, Flush flush) {
  fakePlatform().output.append(text);
  if (flush == Flush::now) flushOutput();
}

void writeErrorOutput(std::string_view text) { fakePlatform().errorOutput.append(text); }

bool readInputWord(std::string& word) {
  flushOutput();
  FakePlatform& fake = fakePlatform();
  if (fake.inputWordsRead >= fake.inputWords.size()) return false;
  word = fake.inputWords[fake.inputWordsRead++];
  return true;
}

// The scripted output is served by the same rules as a real pipe: chunks of at most 127
// characters that end after a line feed and are cut at a NUL byte.
struct CommandPipe::State {
  bool open = false;
  std::string output;
  std::size_t position = 0;
  bool hangs = false;
  bool capped = false;
  bool notFound = false;
  bool timedOut = false;
  bool flash = false;
};

CommandPipe::CommandPipe(const std::string& commandLine, TimeLimit timeLimit, CommandRole role,
                         const std::string& workingFolder)
    : state(new State) {
  flushOutput();
  FakePlatform& fake = fakePlatform();
  fake.pipesOpened.push_back(commandLine);
  fake.pipeWorkingFolders.push_back(workingFolder);
  fake.pipeTimeLimits.push_back(timeLimit);
  fake.pipeRoles.push_back(role);
  state->flash = role == CommandRole::flash;
  if (role == CommandRole::flash) timeLimit = noTimeLimit;
  if (!fake.throwingCommand.empty() && commandLine == fake.throwingCommand) {
    throw std::runtime_error("scripted failure");
  }
  if (fake.pipeStartFailures > 0) {
    --fake.pipeStartFailures;
    return;
  }
  auto action = fake.pipeOpenActions.find(commandLine);
  if (action != fake.pipeOpenActions.end()) action->second();
  auto found = fake.commandOutput.find(commandLine);
  if (found == fake.commandOutput.end()) return;
  state->open = true;
  state->output = found->second;
  if (fake.commandsNotFound > 0) {
    --fake.commandsNotFound;
    state->notFound = true;
  }
  state->capped = timeLimit != noTimeLimit && fake.cappedCommands.count(commandLine) > 0;
  state->hangs = fake.hangingCommands.count(commandLine) > 0 || state->capped;
  if (state->hangs && timeLimit == noTimeLimit) {
    throw std::logic_error("\"" + commandLine + "\" never ends and has no time limit");
  }
}

CommandPipe::~CommandPipe() { flushOutput(); }

bool CommandPipe::isOpen() const { return state->open; }

bool CommandPipe::timedOut() const { return state->timedOut; }

bool CommandPipe::outputCapped() const { return state->timedOut && state->capped; }

bool CommandPipe::leftBehind() {
  state->position = state->output.size();
  return state->open && state->flash && fakePlatform().flashLeavesSomethingRunning;
}

bool CommandPipe::commandNotFound() {
  flushOutput();
  return state->open && !state->timedOut && state->notFound;
}

bool CommandPipe::readChunk(std::string& chunk) {
  flushOutput();
  const std::string& output = state->output;
  if (state->open && state->position >= output.size()) state->timedOut = state->hangs;
  if (!state->open || state->position >= output.size()) return false;
  std::size_t length = std::min<std::size_t>(127, output.size() - state->position);
  std::size_t lineFeed = output.find('\n', state->position);
  if (lineFeed != std::string::npos && lineFeed < state->position + length) {
    length = lineFeed - state->position + 1;
  }
  const char* start = output.data() + state->position;
  state->position += length;
  chunk.assign(start, std::find(start, start + length, '\0'));
  return true;
}

void pauseMilliseconds(unsigned milliseconds) {
  flushOutput();
  fakePlatform().pauses.push_back(milliseconds);
}

std::optional<std::string> readSmbiosTable() {
  FakePlatform& fake = fakePlatform();
  ++fake.smbiosTableReads;
  return fake.smbiosTable;
}

std::optional<std::string> systemProgram(SystemProgram program) {
  FakePlatform& fake = fakePlatform();
  if (program == SystemProgram::wmic) return fake.wmicProgram;
  if (program == SystemProgram::timeout) return fake.timeoutProgram;
  return fake.shutdownProgram;
}

std::string systemProgramsFolder() { return fakePlatform().systemProgramsFolder; }

Signature checkProgramSignature(const std::string& path) {
  FakePlatform& fake = fakePlatform();
  fake.signatureChecks.push_back({path, fake.pipesOpened.size()});
  auto found = fake.signatures.find(path);
  if (found != fake.signatures.end()) return found->second;
  return {SignatureState::valid, "Intel Corporation", ""};
}

void stayThroughFlash() { fakePlatform().stayingThroughFlash = true; }

void endStayThroughFlash() { fakePlatform().stayingThroughFlash = false; }

void runAndWait(const std::string& commandLine) {
  flushOutput();
  fakePlatform().commandsRun.push_back(commandLine);
}

void openDocument(const std::string& fileName) {
  flushOutput();
  fakePlatform().documentsOpened.push_back(fileName);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const auto& environment = fakePlatform().environment;
  auto found = environment.find(name);
  if (found == environment.end()) return std::nullopt;
  return found->second;
}

struct DeviceDrivers::State {
  const FakeDevice* device = nullptr;
  const FakeDriver* driver = nullptr;
};

DeviceDrivers::DeviceDrivers() : state(new State) { ++fakePlatform().deviceListsOpened; }

DeviceDrivers::~DeviceDrivers() { ++fakePlatform().deviceListsReleased; }

bool DeviceDrivers::selectDevice(unsigned index) {
  const auto& devices = fakePlatform().devices;
  state->device = index < devices.size() ? &devices[index] : nullptr;
  state->driver = nullptr;
  return state->device != nullptr;
}

bool DeviceDrivers::buildDriverList() {
  return state->device != nullptr && !state->device->driverListFails;
}

bool DeviceDrivers::selectDriver(unsigned index, std::u16string& description) {
  if (state->device == nullptr || index >= state->device->drivers.size()) return false;
  state->driver = &state->device->drivers[index];
  description = state->driver->description;
  return true;
}

bool DeviceDrivers::driverInfPath(std::u16string& infPath) {
  if (state->driver == nullptr || state->driver->detailFails) return false;
  infPath = state->driver->infPath;
  return true;
}

InstallerLockClaim claimInstallerLock() {
  ++fakePlatform().installerLockClaims;
  return fakePlatform().installerLock;
}

std::optional<int> batteryOnlyCharge() {
  ++fakePlatform().powerQueries;
  return fakePlatform().batteryOnlyCharge;
}

std::string workingFolder() { return fakePlatform().workingFolder; }

namespace {

std::string realPath(std::string path) {
#ifndef _WIN32
  std::replace(path.begin(), path.end(), '\\', '/');
#endif
  return path;
}

}  // namespace

FolderFacts folderFacts(const std::string& path) {
  auto scripted = fakePlatform().folderFacts.find(path);
  if (scripted != fakePlatform().folderFacts.end()) return scripted->second;
  std::error_code error;
  auto status = std::filesystem::symlink_status(realPath(path), error);
  FolderFacts facts;
  facts.exists = std::filesystem::exists(status);
  facts.isFolder = std::filesystem::is_directory(status);
  facts.isLink = std::filesystem::is_symlink(status);
  facts.owner = Account::runningAccount;
  return facts;
}

FolderFacts openOwnFolder(const std::string& path) {
  if (fakePlatform().folderFacts.count(path) == 0) {
    std::error_code error;
    std::filesystem::create_directory(realPath(path), error);
  }
  return folderFacts(path);
}

bool renameFolder(const std::string& path, const std::string& newPath) {
  fakePlatform().foldersRenamed.push_back(path + " -> " + newPath);
  fakePlatform().folderFacts.erase(path);
  std::error_code error;
  std::filesystem::rename(realPath(path), realPath(newPath), error);
  return !error;
}

StatePlace stateFolderPlace() {
  const FakePlatform& fake = fakePlatform();
  return {fake.stateVendor, fake.stateFolder, fake.stateFolderProblem};
}

StageFolder makeStageFolder() {
  FakePlatform& fake = fakePlatform();
  if (!fake.stageProblem.empty()) return {"", fake.stageProblem};
  // A fresh folder, as the real ones are: the first free name.
  for (int number = 1;; ++number) {
    std::string path = "stage-" + std::to_string(number);
    std::error_code error;
    if (!std::filesystem::create_directory(path, error)) continue;
    fake.stagesMade.push_back(path);
    return {path, ""};
  }
}

std::vector<std::string> leftStageFolders() { return fakePlatform().leftStages; }

unsigned long processId() { return fakePlatform().processId; }

std::string computerName() { return fakePlatform().computerName; }

void noteFileOpened(const std::string& path) { fakePlatform().filesOpened.push_back(path); }

std::optional<std::time_t> bootTime() { return fakePlatform().bootTime; }

std::string registerEventSource(const std::string& folder) {
  FakePlatform& fake = fakePlatform();
  fake.eventSourceRegistrations.push_back(folder);
  return fake.eventSourceProblem;
}

std::string reportEvent(EventLevel level, unsigned id, const std::vector<std::string>& strings) {
  FakePlatform& fake = fakePlatform();
  if (!fake.eventProblem.empty()) return fake.eventProblem;
  fake.events.push_back({level, id, strings});
  return "";
}

void prepareProcess() {}

int processExitStatus(int exitCode) { return exitCode; }

}  // namespace platform
