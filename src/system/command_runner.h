// Running other programs. The installer learns about the machine, and changes it, only this
// way. A command's success is judged from its output alone; its exit status is never read.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// Starts a command, with a time limit or without one. A command that cannot be started is
// tried once more after a short pause: a busy system (an antivirus scanner at work, say) may
// refuse a start for a moment. The result may still not be open. runCommand and
// readCommandOutput also run a query once more when the command interpreter could not start
// the command at all (see CommandPipe::commandNotFound); the flash's reader never does.
// `workingFolder` is where the command starts: the stage for Intel's tools, empty for Windows'
// own programs (see platform::CommandPipe).
std::unique_ptr<platform::CommandPipe> startCommand(
    const std::string& commandLine, platform::TimeLimit timeLimit = platform::noTimeLimit,
    platform::CommandRole role = platform::CommandRole::query,
    const std::string& workingFolder = "");

// Every chunk of the command's standard output, in order (at most 127 characters each, ending
// after a line feed); when the time limit passes, what was read until then. Raises "1000h"
// when the pipe cannot be opened.
std::vector<std::string> runCommand(const std::string& commandLine,
                                    platform::TimeLimit timeLimit = platform::noTimeLimit,
                                    const std::string& workingFolder = "");

// Runs a command as runCommand does, but hands each chunk to `onChunk` as it is read and keeps
// none, so that an output as large as the query cap costs no more memory than the caller keeps.
// `onRestart` is called when the command is run once more (see startCommand): what was handed
// out before no longer counts. The chunks are echoed on the super-verbose channel and logged
// as part of one message.
void streamCommand(const std::string& commandLine, platform::TimeLimit timeLimit,
                   const std::function<void(const std::string&)>& onChunk,
                   const std::function<void()>& onRestart, const std::string& workingFolder = "");

// A command's whole output in one text.
struct CommandOutput {
  bool started = false;   // false when the pipe could not be opened
  bool timedOut = false;  // the command was ended at its time limit
  std::string text;
};

// Runs a command within its time limit and reads its whole output; prints the announcement
// once the command was started, or failed to start.
CommandOutput readCommandOutput(const std::string& commandLine, const std::string& announcement,
                                platform::TimeLimit timeLimit,
                                const std::string& workingFolder = "");

// The command line that runs one of Windows' own programs from the system folder with the
// arguments; nothing when the program is not installed.
std::optional<std::string> systemCommandLine(platform::SystemProgram program,
                                             const std::string& arguments);

// Pauses up to the given seconds, or until a key is pressed, through Windows' timeout.
void pauseSeconds(unsigned int seconds);

// Opens README.htm of the working folder with the default handler; raises "1002h" when it is
// missing. Whether a handler exists is not reported.
void openReadme();

// Asks the system to restart after the delay.
void rebootComputer(unsigned int delaySeconds);
