#include "system/bios_query.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "settings/fixed_names.h"
#include "settings/text_case.h"
#include "system/command_runner.h"
#include "system/pattern.h"

namespace {

std::string& storedBiosVersion() {
  static std::string version;
  return version;
}

}  // namespace

void queryBiosVersion() {
  std::string output = readCommandOutput(
      biosVersionCommand,
      "Retrieving system BIOS version.\nRunning command: " + biosVersionCommand + "\n");
  printVerbose(output, "default");
  takeBiosVersionFrom(output);
}

void takeBiosVersionFrom(const std::string& output) {
  // The greedy start makes the version the last place where a letter, two digits and a blank
  // begin; a header line of letters only never qualifies.
  static const Pattern biosPattern =
      compilePattern("[\\s\\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\\. ]*)[\\s\\S]*");
  PatternMatch match;
  if (!searchPattern(biosPattern, output, match) || !match.groups[1].matched) {
    raiseError("2000s");
  }
  std::string version = groupText(output, match, 1);
  printVerbose("BIOS version: " + version + "\n\n", "default");
  storedBiosVersion() = toLower(version);
}

std::string currentBiosVersion() { return storedBiosVersion(); }

void clearCurrentBiosVersion() { storedBiosVersion().clear(); }
