#include "update/update_progress.h"

#include <unordered_map>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "system/pattern.h"

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
  std::string number;  // the percentage, or the tool's error number
  std::string text;    // the tool's error text
  std::string redraw;  // the installer's own progress line for a percentage
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
// right-aligned in three characters, and a longer one is written whole.
std::string redrawText(const Phase& phase, const std::string& percentage) {
  std::string padding(percentage.size() < 3 ? 3 - percentage.size() : 0, ' ');
  return phase.label + padding + percentage + " % ]\r";
}

LineReading readLine(const std::string& line) {
  static const Pattern verificationPattern =
      compilePattern(".*verification: *\\[ *([0-9]*) *% *\\]");
  static const Pattern updatePattern =
      compilePattern(".*FW Update *: *\\[ *([0-9]*)% \\(.\\).*\\]");
  static const Pattern completePattern = compilePattern(".*COMPLETE.*");
  static const Pattern errorPattern = compilePattern("Error ([0-9]*): ([.\\s\\S]*)");
  static const Pattern completedPattern = compilePattern(".*completed.*");

  PatternMatch match;
  LineReading reading;
  if (searchPattern(verificationPattern, line, match) && match.groups[1].matched) {
    reading.kind = LineKind::verificationProgress;
    reading.number = groupText(line, match, 1);
    reading.redraw = redrawText(verification, reading.number);
  } else if (searchPattern(updatePattern, line, match) && match.groups[1].matched) {
    reading.kind = LineKind::updateProgress;
    reading.number = groupText(line, match, 1);
    reading.redraw = redrawText(update, reading.number);
  } else if (searchPattern(completePattern, line, match)) {
    reading.kind = LineKind::verificationComplete;
  } else if (searchPattern(errorPattern, line, match) && match.groups[1].matched) {
    reading.kind = LineKind::toolError;
    reading.number = groupText(line, match, 1);
    reading.text = groupText(line, match, 2);
  } else if (searchPattern(completedPattern, line, match)) {
    reading.kind = LineKind::updateCompleted;
  }
  return reading;
}

// The tool draws the same few hundred lines again and again (each percentage, each turn of
// its spinner), and finding an expression in a line costs far more than looking the line up,
// so each distinct line is read once. Only lines an expression was found in are kept: any
// other line is quick to read, and a tool may print many of them that never come back. The
// reading returned stays valid until the next call.
const LineReading& rememberedReading(const std::string& line) {
  constexpr std::size_t longestKept = 128;
  constexpr std::size_t mostKept = 1024;
  static std::unordered_map<std::string, LineReading> readings;
  static LineReading latest;
  auto found = readings.find(line);
  if (found != readings.end()) return found->second;
  latest = readLine(line);
  if (latest.kind == LineKind::other || line.size() > longestKept) return latest;
  if (readings.size() == mostKept) readings.clear();
  return readings.emplace(line, latest).first->second;
}

// A redraw is overwritten by the next one; a record has the same layout and ends with a line
// feed, so it leaves the line standing. The tool redraws faster than anyone can read, and a
// flush per redraw costs more than reading its line: redraws reach the console whenever the
// installer waits for the tool, which is when a person could see them.
void showProgress(const Phase& phase, const LineReading& reading) {
  platform::writeOutput(reading.redraw, platform::Flush::beforeWaiting);
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

void parseUpdateProgress(const std::string& line) {
  const LineReading& reading = rememberedReading(line);
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
