// Single lines of the update tool's output handed straight to the progress parser, with bytes
// the pipe never delivers (line feeds, NUL) too. What it shows and raises must follow its
// expressions exactly, in their order, and each 0 % and 100 % record must appear only once.
#include "app/error_catalogue.h"
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "regex_reference.h"
#include "update/update_progress.h"

namespace {

struct Expectation {
  std::string output;
  std::string raised;
  ProgressRecords records;
};

std::string padded(const std::string& percentage) {
  return std::string(percentage.size() < 3 ? 3 - percentage.size() : 0, ' ') + percentage;
}

void expectProgress(Expectation& expected, bool superVerbose, const std::string& label,
                    const std::string& percentage, bool& startShown, bool& endShown) {
  expected.output += label + padded(percentage) + " % ]\r";
  if (!startShown && percentage == "0") {
    if (superVerbose) expected.output += label + "  0 % ]\n";
    startShown = true;
  } else if (!endShown && percentage == "100") {
    if (superVerbose) expected.output += label + "100 % ]\n";
    endShown = true;
  }
}

// Adds what one line must show; false when the line must raise (the message is then set).
bool expectLine(Expectation& expected, std::uint8_t settings, const std::string& line) {
  const bool verbose = verboseSetting(settings);
  const bool superVerbose = (settings & 2) != 0;
  ProgressRecords& records = expected.records;
  if (std::optional<std::string> percentage =
          referenceGroup(R"(.*verification: *\[ *([0-9]*) *% *\])", line, 1)) {
    expectProgress(expected, superVerbose, "Verifying FW image:  [ ", *percentage,
                   records.verifyStartShown, records.verifyEndShown);
  } else if (std::optional<std::string> percentage =
                 referenceGroup(R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])", line, 1)) {
    expectProgress(expected, superVerbose, "Updating FW:  [ ", *percentage,
                   records.updateStartShown, records.updateEndShown);
  } else if (line.find("COMPLETE") != std::string::npos) {
    const std::string complete = "Verifying FW image:  [ COMPLETE ]\n\n";
    expected.output += complete + (superVerbose ? complete : "");
  } else if (std::optional<std::vector<std::string>> error =
                 referenceGroups(R"(Error ([0-9]*): ([.\s\S]*))", line)) {
    if (superVerbose) expected.output += line;
    bool staged = (*error)[1] == "8703" || (*error)[1] == "348";
    expected.raised = staged ? formatError("3002n") : "ERROR " + (*error)[1] + "u: " + (*error)[2];
    return false;
  } else if (line.find("completed") != std::string::npos) {
    expected.output +=
        "Update complete. You must reboot your computer in order for the Management Engine "
        "firmware update to be effective.\n\n";
    records.completed = true;
  } else if (verbose) {
    expected.output += line + "\n";
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  resetProcessState();
  const std::uint8_t settings = data[0];
  applySettings(settings & 3);
  if (size > referenceTextBytes + 1) {
    // Beyond what std::regex survives, the lines are only parsed.
    for (const std::string& line : splitAt(asText(data + 1, size - 1), '\r')) {
      try {
        parseUpdateProgress(line);
      } catch (const std::string& message) {
        requireCodedMessage(message, {{"3002n"}, 'u'});
        break;
      }
    }
    return 0;
  }
  Expectation expected;
  std::string raised;
  for (const std::string& line : splitAt(asText(data + 1, size - 1), '\r')) {
    bool goesOn = expectLine(expected, settings, line);
    try {
      parseUpdateProgress(line);
    } catch (const std::string& message) {
      requireCodedMessage(message, {{"3002n"}, 'u'});
      raised = message;
    }
    fuzzCheck(raised == expected.raised, "line \"" + line + "\" raised \"" + raised +
                                             "\" instead of \"" + expected.raised + "\"");
    fuzzCheck(platform::fakePlatform().output == expected.output,
              "after line \"" + line + "\" the console shows \"" + platform::fakePlatform().output +
                  "\" instead of \"" + expected.output + "\"");
    const ProgressRecords& records = progressRecords();
    fuzzCheck(records.verifyStartShown == expected.records.verifyStartShown &&
                  records.verifyEndShown == expected.records.verifyEndShown &&
                  records.updateStartShown == expected.records.updateStartShown &&
                  records.updateEndShown == expected.records.updateEndShown &&
                  records.completed == expected.records.completed,
              "progress records differ after line \"" + line + "\"");
    if (!goesOn) break;
  }
  return 0;
}
