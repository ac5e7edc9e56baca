#include "system/command_runner.h"

#include "app/error_catalogue.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "settings/fixed_names.h"

#include <utility>

namespace {

// Long enough for a passing refusal to clear, short enough to go unnoticed.
constexpr unsigned startRetryPauseMilliseconds = 400;

void reportTimeLimit(const platform::CommandPipe& pipe, const std::string& commandLine,
                     platform::TimeLimit timeLimit) {
  if (pipe.outputCapped()) {
    printVerbose("Command ended after " + std::to_string(platform::queryOutputCap) +
                     " bytes of output: " + commandLine + "\n",
                 "default");
    return;
  }
  if (!pipe.timedOut()) return;
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count();
  printVerbose("Command ended after its time limit of " + std::to_string(seconds) +
                   " seconds: " + commandLine + "\n",
               "default");
}

// A query that the command interpreter could not start at all is tried once more after the
// same pause as one whose pipe could not be opened. Only queries come here: a flash is never
// started twice, whatever its exit status.
std::unique_ptr<platform::CommandPipe> restartCommand(std::unique_ptr<platform::CommandPipe> pipe,
                                                      const std::string& commandLine,
                                                      platform::TimeLimit timeLimit,
                                                      const std::string& workingFolder) {
  pipe.reset();
  platform::pauseMilliseconds(startRetryPauseMilliseconds);
  return std::make_unique<platform::CommandPipe>(commandLine, timeLimit,
                                                 platform::CommandRole::query, workingFolder);
}

}  // namespace

std::unique_ptr<platform::CommandPipe> startCommand(const std::string& commandLine,
                                                    platform::TimeLimit timeLimit,
                                                    platform::CommandRole role,
                                                    const std::string& workingFolder) {
  auto pipe = std::make_unique<platform::CommandPipe>(commandLine, timeLimit, role, workingFolder);
  if (pipe->isOpen()) return pipe;
  platform::pauseMilliseconds(startRetryPauseMilliseconds);
  return std::make_unique<platform::CommandPipe>(commandLine, timeLimit, role, workingFolder);
}

void streamCommand(const std::string& commandLine, platform::TimeLimit timeLimit,
                   const std::function<void(const std::string&)>& onChunk,
                   const std::function<void()>& onRestart, const std::string& workingFolder) {
  std::unique_ptr<platform::CommandPipe> pipe =
      startCommand(commandLine, timeLimit, platform::CommandRole::query, workingFolder);
  printVerbose("Running command: " + commandLine + "\n\n", "default");
  for (int attempt = 0;; ++attempt) {
    if (!pipe->isOpen()) raiseError("1000h");
    if (attempt > 0) onRestart();
    std::string chunk;
    while (pipe->readChunk(chunk)) {
      onChunk(chunk);
      appendSuperVerbose(chunk);
    }
    if (attempt > 0 || !pipe->commandNotFound()) break;
    pipe = restartCommand(std::move(pipe), commandLine, timeLimit, workingFolder);
  }
  reportTimeLimit(*pipe, commandLine, timeLimit);
  printVerbose("\n", "default");
}

std::vector<std::string> runCommand(const std::string& commandLine, platform::TimeLimit timeLimit,
                                    const std::string& workingFolder) {
  std::vector<std::string> chunks;
  streamCommand(
      commandLine, timeLimit, [&](const std::string& chunk) { chunks.push_back(chunk); },
      [&] { chunks.clear(); }, workingFolder);
  return chunks;
}

CommandOutput readCommandOutput(const std::string& commandLine, const std::string& announcement,
                                platform::TimeLimit timeLimit, const std::string& workingFolder) {
  CommandOutput output;
  std::unique_ptr<platform::CommandPipe> pipe =
      startCommand(commandLine, timeLimit, platform::CommandRole::query, workingFolder);
  printVerbose(announcement, "default");
  for (int attempt = 0;; ++attempt) {
    output.started = pipe->isOpen();
    output.text.clear();
    std::string chunk;
    while (pipe->readChunk(chunk)) {
      output.text += chunk;
    }
    if (attempt > 0 || !pipe->commandNotFound()) break;
    pipe = restartCommand(std::move(pipe), commandLine, timeLimit, workingFolder);
  }
  output.timedOut = pipe->timedOut();
  reportTimeLimit(*pipe, commandLine, timeLimit);
  return output;
}

void openReadme() {
  checkFileExists("", readmeFileName);
  platform::openDocument(readmeFileName);
}

std::optional<std::string> systemCommandLine(platform::SystemProgram program,
                                             const std::string& arguments) {
  std::optional<std::string> path = platform::systemProgram(program);
  if (!path) return std::nullopt;
  // A system folder with a blank in its name stays one word for the interpreter.
  if (path->find(' ') != std::string::npos) *path = "\"" + *path + "\"";
  return *path + " " + arguments;
}

void pauseSeconds(unsigned int seconds) {
  std::optional<std::string> command =
      systemCommandLine(platform::SystemProgram::timeout, "/T " + std::to_string(seconds));
  if (command) platform::runAndWait(*command);
}

void rebootComputer(unsigned int delaySeconds) {
  std::optional<std::string> command = systemCommandLine(
      platform::SystemProgram::shutdown, "/r /t " + std::to_string(delaySeconds) + " \n\n");
  if (command) platform::runAndWait(*command);
}
