#include "update/update_progress.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "system/pattern.h"

ProgressRecords& progressRecords() {
  static ProgressRecords records;
  return records;
}

namespace {

// A percentage right-aligned in three characters; a longer one is written whole.
std::string padded(const std::string& percentage) {
  return std::string(percentage.size() < 3 ? 3 - percentage.size() : 0, ' ') + percentage;
}

struct Phase {
  const char* label;
  bool ProgressRecords::*startShown;
  bool ProgressRecords::*endShown;
};

// The redraw ends with a carriage return so the next one overwrites it; a record has the same
// layout and ends with a line feed, so it leaves the line standing. The tool redraws faster
// than anyone can read, and a flush per redraw costs more than parsing its line: redraws reach
// the console whenever the installer waits for the tool, which is when a person could see
// them.
void showProgress(const Phase& phase, const std::string& percentage) {
  platform::writeOutput(std::string(phase.label) + padded(percentage) + " % ]\r",
                        platform::Flush::beforeWaiting);
  ProgressRecords& records = progressRecords();
  if (!(records.*phase.startShown) && percentage == "0") {
    printSuperVerbose(std::string(phase.label) + "  0 % ]\n", "default");
    records.*phase.startShown = true;
  } else if (!(records.*phase.endShown) && percentage == "100") {
    printSuperVerbose(std::string(phase.label) + "100 % ]\n", "default");
    records.*phase.endShown = true;
  }
}

const Phase verification = {"Verifying FW image:  [ ", &ProgressRecords::verifyStartShown,
                            &ProgressRecords::verifyEndShown};
const Phase update = {"Updating FW:  [ ", &ProgressRecords::updateStartShown,
                      &ProgressRecords::updateEndShown};

void showVerificationComplete() {
  const char* text = "Verifying FW image:  [ COMPLETE ]\n\n";
  platform::writeOutput(text);
  printSuperVerbose(text, "default");
}

[[noreturn]] void raiseToolError(const std::string& line, const std::string& number,
                                 const std::string& text) {
  printSuperVerbose(line, "default");
  // The tool's way of saying the image is already staged and waits for a reboot.
  if (number == "8703" || number == "348") raiseError("3002n");
  throw "ERROR " + number + "u: " + text;
}

void showUpdateCompleted() {
  printMessage(
      "Update complete. You must reboot your computer in order for the Management Engine "
      "firmware update to be effective.",
      "complete");
  printMessage("\n\n", "default");
  progressRecords().completed = true;
}

}  // namespace

void parseUpdateProgress(std::string line) {
  static const Pattern verificationPattern =
      compilePattern(".*verification: *\\[ *([0-9]*) *% *\\]");
  static const Pattern updatePattern =
      compilePattern(".*FW Update *: *\\[ *([0-9]*)% \\(.\\).*\\]");
  static const Pattern completePattern = compilePattern(".*COMPLETE.*");
  static const Pattern errorPattern = compilePattern("Error ([0-9]*): ([.\\s\\S]*)");
  static const Pattern completedPattern = compilePattern(".*completed.*");

  PatternMatch match;
  if (searchPattern(verificationPattern, line, match) && match.groups[1].matched) {
    showProgress(verification, groupText(line, match, 1));
  } else if (searchPattern(updatePattern, line, match) && match.groups[1].matched) {
    showProgress(update, groupText(line, match, 1));
  } else if (searchPattern(completePattern, line, match)) {
    showVerificationComplete();
  } else if (searchPattern(errorPattern, line, match) && match.groups[1].matched) {
    raiseToolError(line, groupText(line, match, 1), groupText(line, match, 2));
  } else if (searchPattern(completedPattern, line, match)) {
    showUpdateCompleted();
  } else {
    printVerbose(line + "\n", "default");
  }
}
