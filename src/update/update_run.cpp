#include "update/update_run.h"

#include <algorithm>

#include "app/error_catalogue.h"
#include "app/run_record.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/command_runner.h"
#include "system/tool_stage.h"
#include "update/update_progress.h"

namespace {

// Cuts the tool's output back into lines: line feeds are dropped and each carriage return ends
// a line, so a progress redraw (CR alone) and an ordinary line (CR LF) both become one line.
// Only the newest chunk can hold a carriage return, so each byte is looked at once.
void feedChunk(std::string& pending, std::string& line, const std::string& chunk) {
  std::size_t lineStart = pending.size();
  for (std::size_t start = 0; start < chunk.size();) {
    std::size_t lineFeed = std::min(chunk.find('\n', start), chunk.size());
    pending.append(chunk, start, lineFeed - start);
    start = lineFeed + 1;
  }
  std::size_t consumed = 0;
  for (std::size_t cr = pending.find('\r', lineStart); cr != std::string::npos;
       cr = pending.find('\r', consumed)) {
    line.assign(pending, consumed, cr - consumed);
    parseUpdateProgress(line);
    consumed = cr + 1;
  }
  pending.erase(0, consumed);
}

// However the reading ends, the flash's record learns whether the flash left something running.
// Declared after the pipe, it goes first: the pipe's own end then has nothing left to read.
struct LeftoverNote {
  platform::CommandPipe& pipe;
  ~LeftoverNote() {
    bool leftBehind = pipe.leftBehind();
    noteFlashLeftover(leftBehind);
    // What the flash left running may still use its stage.
    if (leftBehind) keepStage();
  }
};

}  // namespace

std::string updateCommandLine(const FirmwareUpdater& updater, const std::string& firmwareFile) {
  std::string commandLine = updater.getUpdateCommand() + " " + firmwareFolder + firmwareFile;
  if (sameVersionFlag()) commandLine += " " + updater.getAllowSameVersionSwitch();
  return commandLine;
}

void runUpdate(const FirmwareUpdater& updater, std::string firmwareFile) {
  std::string commandLine = updateCommandLine(updater, firmwareFile);
  printVerbose("Running command: " + commandLine + "\n", "default");
  // No time limit: stopping a firmware write halfway is worse than any wait. Whatever ends the
  // reading below (an error line, a failed console write, no memory left), the pipe is read
  // to the tool's end before the error leaves, so the tool is never cut short.
  // A closed terminal or console, Ctrl+C or a hang-up must not take the installer away before
  // it has read the flash's output and recorded its outcome (undone after the run's last record).
  platform::stayThroughFlash();
  std::unique_ptr<platform::CommandPipe> pipe =
      startCommand(commandLine, platform::noTimeLimit, platform::CommandRole::flash, stageFolder());
  if (!pipe->isOpen()) raiseError("1000h");
  LeftoverNote leftover{*pipe};
  progressRecords().completed = false;
  std::string pending;
  std::string line;
  std::string chunk;
  while (pipe->readChunk(chunk)) {
    feedChunk(pending, line, chunk);
  }
  // What follows the last carriage return is never shown. A run that never reported its
  // completion did not update anything we can vouch for, so it must not pass for an update.
  if (!progressRecords().completed) raiseError("2013s");
}
