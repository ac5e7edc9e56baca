#include "app/error_catalogue.h"
#include "console/file_ops.h"
#include "console/log_files.h"
#include "console/messages.h"
#include "system/command_runner.h"
#include "system/driver_walk.h"
#include "system/system_info.h"
#include "system/tool_output_scan.h"
#include "system/tool_stage.h"

namespace {

// A hanging MEInfo must not stop the run; what it printed until then still counts.
constexpr platform::TimeLimit meInfoTimeLimit = std::chrono::seconds(120);

// Each is read as ".*<phrase> *([0-9\.]*).*".
struct MeInfoField {
  const char* phrase;
  std::string SystemInfo::*field;
  const char* announcement;
};

// Tried in this order; only the MEInfo version has a colon after "Version".
const MeInfoField meInfoFields[] = {
    {"MEBx Version", &SystemInfo::mebxVersion, "MEBx Version found: "},
    {"LMS Version", &SystemInfo::lmsVersion, "LMS Version found: "},
    {"MEI Driver Version", &SystemInfo::meiVersion, "MEI Version found: "},
    {"MEInfo Version:", &SystemInfo::meInfoVersion, "MEInfo Version found: "},
    {"PMC Version", &SystemInfo::pmcVersion, "PMC Version found: "},
};

}  // namespace

void SystemInfo::parseMeInfoLine(std::string line) {
  for (const MeInfoField& field : meInfoFields) {
    if (std::optional<TextMatch> found = matchPhraseValue(line, field.phrase)) {
      std::string value = spanText(line, found->group1);
      this->*field.field = value;
      printVerbose(field.announcement + value + "\n", "default");
      return;
    }
  }
}

void SystemInfo::readMeInfoVersions() {
  checkFileExists(meInfoFolder, meInfoExe);
  stageToolFolder(meInfoFolder, meInfoExe);
  printVerbose("Retrieving verbose log of MEInfo\n", "default");
  // Each piece is looked at as it comes and then let go of: a report as large as the query cap
  // must not be kept, let alone as one object per piece.
  streamCommand(
      meInfoFolder + meInfoVerboseCommand, meInfoTimeLimit,
      [this](const std::string& chunk) { parseMeInfoLine(chunk); }, [] {}, stageFolder());
}

void SystemInfo::writeMeInfoLog() {
  checkFileExists(meInfoFolder, meInfoExe);
  stageToolFolder(meInfoFolder, meInfoExe);
  printVerbose("Retrieving verbose log of MEInfo\n", "default");
  // One text, not one object per piece: a report of empty lines as large as the query cap
  // would otherwise cost many times its size.
  // Room for as much as the query keeps, taken at once: a text that grows by doubling would hold
  // its old copy beside the new one at every step. Untouched room costs no memory.
  std::vector<std::string> report(1);
  report[0].reserve(platform::queryOutputCap);
  streamCommand(
      meInfoFolder + meInfoVerboseCommand, meInfoTimeLimit,
      [&report](const std::string& chunk) { report[0] += chunk; }, [&report] { report[0].clear(); },
      stageFolder());
  printMessage("Printing verbose meinfo log to " + meInfoLogFile + "\n", "default");
  // The report already ends its lines as the tool wrote them; text mode would double every
  // carriage return.
  writeLinesToFile(meInfoLogFile, report, platform::FileMode::raw);
}

void SystemInfo::showSystemInfo() {
  printMessage("Extended system information:\n", "default");
  printMessage("Wait for it...", "default");
  for (std::string* field :
       {&mebxVersion, &lmsVersion, &pmcVersion, &meiVersion, &meInfoVersion, &dalVersion}) {
    *field = "Unknown";
  }
  // Without a SOL driver there is no INF file to read; a file named after the walk's
  // sentinel must not be opened in its place.
  std::string solInf = findSolDriverInf();
  solVersion = solInf == "error" ? "Unknown" : readInfDriverVersion(solInf);
  readMeInfoVersions();
  const std::pair<const char*, const std::string*> listing[] = {
      {"\r-BIOS version:\t", &biosVersion},       {"-ME version:\t", &meFirmwareVersion},
      {"-MEBx version:\t", &mebxVersion},         {"-PMC version:\t", &pmcVersion},
      {"-LMS version:\t", &lmsVersion},           {"-MEI version:\t", &meiVersion},
      {"-DAL version:\t", &dalVersion},           {"-SOL version:\t", &solVersion},
      {"-FwUpdLcl version:\t", &fwUpdLclVersion}, {"-MEInfo version:\t", &meInfoVersion},
  };
  for (const auto& [label, value] : listing) {
    bool groupEnds = value == &solVersion || value == &meInfoVersion;
    printMessage(label + *value + (groupEnds ? "\n\n" : "\n"), "default");
  }
}
