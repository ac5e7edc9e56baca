// The update tool's output as the installer receives it through the pipe: chunks of up to 127
// bytes, progress redraws ended by a lone carriage return, lines by CR LF. Cutting the chunks
// back into lines must not depend on where the chunks end: the run must do exactly what the
// progress parser does with the whole text cut at its carriage returns, and it may return
// only after the tool reported a completed update.
#include <algorithm>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "stamp/firmware_updater.h"
#include "update/update_progress.h"
#include "update/update_run.h"

namespace {

const std::string updateCommand = "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f";
const std::string firmwareFile = "11.8.55.3510.bin";

struct Outcome {
  std::string raised;
  bool completed = false;
  std::string output;
  std::vector<std::string> log;
};

Outcome finish(std::string raised) {
  Outcome outcome;
  outcome.raised = std::move(raised);
  outcome.completed = progressRecords().completed;
  outcome.output = platform::fakePlatform().output;
  outcome.log = runLog().messages();
  return outcome;
}

Outcome runThroughPipe(std::uint8_t settings, const std::string& commandLine,
                       const std::string& output) {
  resetProcessState();
  applySettings(settings);
  platform::fakePlatform().commandOutput[commandLine] = output;
  FirmwareUpdater updater("MeFwVer.sys", updateCommand, "-allowsv", "-s");
  try {
    runUpdate(updater, firmwareFile);
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"2013s", "3002n"}, 'u'});
    return finish(message);
  }
  fuzzCheck(progressRecords().completed, "update run returned without a completed update");
  return finish("");
}

// The lines the run must see: the text the pipe delivers, without line feeds, cut at each
// carriage return; what follows the last one is no line.
Outcome parseWholeText(std::uint8_t settings, const std::string& text) {
  resetProcessState();
  applySettings(settings);
  std::string line;
  try {
    for (char c : text) {
      if (c == '\r') {
        parseUpdateProgress(line);
        line.clear();
      } else if (c != '\n') {
        line += c;
      }
    }
  } catch (const std::string& message) {
    return finish(message);
  }
  return finish(progressRecords().completed ? "" : formatError("2013s"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t settings = data[0];
  const std::string output(asText(data + 1, size - 1));
  std::string commandLine = updateCommand + " ME_Flash\\" + firmwareFile;
  if (settings & 4) commandLine += " -allowsv";

  resetProcessState();
  const std::string text = textThroughPipe(commandLine, output);
  const Outcome expected = parseWholeText(settings, text);
  const Outcome actual = runThroughPipe(settings, commandLine, output);

  fuzzCheck(actual.raised == expected.raised,
            "raised \"" + actual.raised + "\" instead of \"" + expected.raised + "\"");
  fuzzCheck(actual.completed == expected.completed, "completion differs");
  const std::string announcement = "Running command: " + commandLine + "\n";
  fuzzCheck(actual.output == (verboseSetting(settings) ? announcement : "") + expected.output,
            "console output differs: " + actual.output);
  fuzzCheck(!actual.log.empty() && actual.log.front() == announcement &&
                std::equal(actual.log.begin() + 1, actual.log.end(), expected.log.begin(),
                           expected.log.end()),
            "run log differs");
  return 0;
}
