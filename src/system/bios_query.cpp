#include "system/bios_query.h"

#include <optional>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"
#include "settings/text_case.h"
#include "system/command_runner.h"
#include "system/smbios_table.h"
#include "system/tool_output_scan.h"
#include "system/wmic_layout.h"

namespace {

// wmic answers in a second or two; a WMI service that is broken can keep it waiting forever.
constexpr platform::TimeLimit wmicTimeLimit = std::chrono::seconds(60);

std::string& storedBiosVersion() {
  static std::string version;
  return version;
}

BiosReading& storedBiosReading() {
  static BiosReading reading;
  return reading;
}

// wmic's answer; nothing when it is missing, hung, or printed no version.
std::optional<std::string> versionFromWmic(const CommandOutput& wmic) {
  if (!wmic.started) return std::nullopt;
  printVerbose(wmic.text, "default");
  if (wmic.timedOut) return std::nullopt;
  return findBiosVersion(wmic.text);
}

// The same string wmic would have printed, read from the firmware's own table and laid out as
// wmic prints it, so that the pattern finds the same version in it, trailing blanks included.
// `why` says why wmic gave nothing.
std::optional<std::string> versionFromSmbios(const std::string& why) {
  printVerbose(why + "Reading the SMBIOS table.\n", "default");
  std::optional<std::string> table = platform::readSmbiosTable();
  std::optional<std::string> text = table ? smbiosBiosVersion(*table) : std::nullopt;
  if (!text) {
    printVerbose(table ? "No BIOS version in the SMBIOS table.\n" : "No SMBIOS table.\n",
                 "default");
    return std::nullopt;
  }
  printVerbose("SMBIOS BIOS version: " + *text + "\n", "default");
  return findBiosVersion(wmicBiosVersionLayout(*text));
}

void storeBiosVersion(const std::string& version, const char* source) {
  printVerbose("BIOS version: " + version + "\n\n", "default");
  storedBiosVersion() = toLower(version);
  storedBiosReading() = {version, source};
}

}  // namespace

void queryBiosVersion() {
  std::optional<std::string> commandLine =
      systemCommandLine(platform::SystemProgram::wmic, biosVersionArguments);
  if (!commandLine) {
    // Nothing runs, so nothing failed to start: without a version the run ends with 2000s.
    printVerbose("Retrieving system BIOS version.\n", "default");
    std::optional<std::string> version = versionFromSmbios("wmic is not installed.\n");
    if (!version) raiseError("2000s");
    storeBiosVersion(*version, "smbios");
    return;
  }
  CommandOutput wmic = readCommandOutput(
      *commandLine,
      "Retrieving system BIOS version.\nRunning command: " + biosVersionCommand + "\n",
      wmicTimeLimit, platform::systemProgramsFolder());
  std::optional<std::string> version = versionFromWmic(wmic);
  const char* source = "wmic";
  if (!version) {
    version = versionFromSmbios("wmic gave no BIOS version.\n");
    source = "smbios";
  }
  if (!version) raiseError(wmic.started ? "2000s" : "1000h");
  storeBiosVersion(*version, source);
}

void takeBiosVersionFrom(const std::string& output) {
  std::optional<std::string> version = findBiosVersion(output);
  if (!version) raiseError("2000s");
  storeBiosVersion(*version, "wmic");
}

std::string currentBiosVersion() { return storedBiosVersion(); }

BiosReading lastBiosReading() { return storedBiosReading(); }

void resetCurrentBiosVersion() {
  storedBiosVersion().clear();
  storedBiosReading() = {};
}
