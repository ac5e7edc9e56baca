#include "update/update_progress.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "system/tool_output_scan.h"
#include "update/progress_lines.h"

ProgressRecords& progressRecords() {
  static ProgressRecords records;
  return records;
}

void resetProgressRecords() { progressRecords() = ProgressRecords{}; }

namespace {

// What a line of the tool's output is, by the first expression found in it, and the parts of
// it the installer uses.
enum class LineKind {
  verificationProgress,
  updateProgress,
  verificationComplete,
  toolError,
  updateCompleted,
  other,
};

struct LineReading {
  LineKind kind = LineKind::other;
  std::string_view number;  // the percentage, or the tool's error number
  std::string_view text;    // the tool's error text
};

struct Phase {
  const char* label;
  bool ProgressRecords::*startShown;
  bool ProgressRecords::*endShown;
};

const Phase verification = {"Verifying FW image:  [ ", &ProgressRecords::verifyStartShown,
                            &ProgressRecords::verifyEndShown};
const Phase update = {"Updating FW:  [ ", &ProgressRecords::updateStartShown,
                      &ProgressRecords::updateEndShown};

// The redraw ends with a carriage return so the next one overwrites it; the percentage is
// right-aligned in three characters, and a longer one is written whole. One text is reused,
// as a redraw comes with nearly every line of the tool.
const std::string& redrawText(const Phase& phase, std::string_view percentage) {
  static std::string redraw;
  redraw = phase.label;
  redraw.append(percentage.size() < 3 ? 3 - percentage.size() : 0, ' ');
  redraw.append(percentage).append(" % ]\r");
  return redraw;
}

std::string_view spanView(std::string_view line, TextSpan span) {
  return line.substr(span.begin, span.end - span.begin);
}

LineReading readLine(std::string_view line) {
  LineReading reading;
  if (std::optional<TextMatch> found = matchVerificationProgress(line)) {
    reading = {LineKind::verificationProgress, spanView(line, found->group1), {}};
  } else if (std::optional<TextMatch> found = matchUpdateProgress(line)) {
    reading = {LineKind::updateProgress, spanView(line, found->group1), {}};
  } else if (matchLineWith(line, "COMPLETE")) {
    reading.kind = LineKind::verificationComplete;
  } else if (std::optional<TextMatch> found = matchToolError(line)) {
    reading = {LineKind::toolError, spanView(line, found->group1), spanView(line, found->group2)};
  } else if (matchLineWith(line, "completed")) {
    reading.kind = LineKind::updateCompleted;
  }
  return reading;
}

// A redraw is overwritten by the next one; a record has the same layout and ends with a line
// feed, so it leaves the line standing. The tool redraws faster than anyone can read, and a
// flush per redraw costs more than reading its line: redraws reach the console whenever the
// installer waits for the tool, which is when a person could see them.
void showProgress(const Phase& phase, const LineReading& reading) {
  platform::writeOutput(redrawText(phase, reading.number), platform::Flush::beforeWaiting);
  ProgressRecords& records = progressRecords();
  if (!(records.*phase.startShown) && reading.number == "0") {
    printSuperVerbose(std::string(phase.label) + "  0 % ]\n", "default");
    records.*phase.startShown = true;
  } else if (!(records.*phase.endShown) && reading.number == "100") {
    printSuperVerbose(std::string(phase.label) + "100 % ]\n", "default");
    records.*phase.endShown = true;
  }
}

void showVerificationComplete() {
  const char* text = "Verifying FW image:  [ COMPLETE ]\n\n";
  platform::writeOutput(text);
  printSuperVerbose(text, "default");
}

[[noreturn]] void raiseToolError(const std::string& line, std::string_view number,
                                 std::string_view text) {
  printSuperVerbose(line, "default");
  // The tool's way of saying the image is already staged and waits for a reboot.
  if (number == "8703" || number == "348") raiseError("3002n");
  throw "ERROR " + std::string(number) + "u: " + std::string(text);
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

void parseUpdateProgress(const std::string& line) {
  const LineReading reading = readLine(line);
  switch (reading.kind) {
    case LineKind::verificationProgress:
      showProgress(verification, reading);
      break;
    case LineKind::updateProgress:
      showProgress(update, reading);
      break;
    case LineKind::verificationComplete:
      showVerificationComplete();
      break;
    case LineKind::toolError:
      raiseToolError(line, reading.number, reading.text);
    case LineKind::updateCompleted:
      showUpdateCompleted();
      break;
    case LineKind::other:
      printVerbose(line + "\n", "default");
      break;
  }
}
