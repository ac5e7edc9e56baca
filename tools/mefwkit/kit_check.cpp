#include "mefwkit/kit_check.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "app/error_catalogue.h"
#include "checks/bios_prerequisite.h"
#include "console/file_ops.h"
#include "mefwkit/line_hints.h"
#include "platform/platform.h"
#include "profiles/input_parser.h"
#include "settings/fixed_names.h"
#include "settings/text_case.h"
#include "stamp/firmware_updater.h"
#include "system/tool_signature.h"

namespace {

const char* const inputFileName = "input.txt";
const std::string meInfoFolder = "MEInfo\\Win\\WINDOWS64\\";
const std::string meInfoFileName = "MEInfoWin64.exe";

// The code of an installer message: "ERROR 1013h: ..." gives "1013h".
std::string codeOf(const std::string& message) { return message.substr(6, 5); }

// The message without its "ERROR 1013h: " lead, which the report shows apart.
std::string textOf(const std::string& message) {
  return message.size() > 13 ? message.substr(13) : message;
}

void addProblem(KitReport& report, Severity severity, int line, const std::string& code,
                const std::string& message) {
  report.problems.push_back({severity, line, code, message});
}

// Problems the installer itself raises, with its code and text.
void addInstallerProblem(KitReport& report, int line, const std::string& message,
                         const std::string& context = "") {
  addProblem(report, Severity::error, line, codeOf(message), context + textOf(message));
}

bool hasErrorAt(const KitReport& report, const std::string& code, int line) {
  return std::any_of(
      report.problems.begin(), report.problems.end(), [&](const KitProblem& problem) {
        return problem.code == code && problem.line == line && problem.severity == Severity::error;
      });
}

// Where each profile's lines stand, which the parser does not keep.
void noteLine(std::vector<KitProfile>& kitProfiles, const std::vector<InputProfile>& profiles,
              const InputParse& parse, const InputKeyMatch& match) {
  if (kitProfiles.size() < profiles.size()) kitProfiles.push_back({{}, parse.lineNumber});
  if (kitProfiles.empty() || match.key == InputKey::firmwareFile) return;
  if (match.key == InputKey::prereqBios) kitProfiles.back().prereqLine = parse.lineNumber;
  if (match.key == InputKey::supportedPlatforms) ++kitProfiles.back().platformLines;
}

void addLineHint(KitReport& report, int line, const std::optional<std::string>& hint) {
  if (hint) addProblem(report, Severity::warning, line, "", *hint);
}

// input.txt line by line, through the installer's own parser, reading on past each problem.
void readProfiles(KitReport& report, const std::vector<std::string>& lines) {
  std::vector<InputProfile> profiles;
  std::vector<InputProblem> problems;
  InputParse parse{profiles, &problems};
  std::vector<KitProfile> kitProfiles;
  for (const std::string& line : lines) {
    ++parse.lineNumber;
    std::size_t known = problems.size();
    InputKeyMatch match = parseInputLine(parse, line);
    for (std::size_t i = known; i < problems.size(); ++i) {
      addInstallerProblem(report, problems[i].line, problems[i].message);
    }
    noteLine(kitProfiles, profiles, parse, match);
    bool ignored = match.key == InputKey::none;
    addLineHint(report, parse.lineNumber,
                ignored ? ignoredLineHint(line) : keyLineHint(line, match));
  }
  std::size_t known = problems.size();
  finishInputProfiles(parse);
  for (std::size_t i = known; i < problems.size(); ++i) {
    addInstallerProblem(report, problems[i].line, problems[i].message);
  }
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    kitProfiles[i].profile = profiles[i];
  }
  report.profiles = kitProfiles;
}

bool fileIsThere(const std::string& path) {
  platform::InputFile file(path, platform::FileMode::raw);
  return file.isOpen();
}

std::string profileName(std::size_t index) { return "profile " + std::to_string(index) + ": "; }

void checkImage(KitReport& report, std::size_t index) {
  KitProfile& kit = report.profiles[index];
  const std::string& image = kit.profile.meFirmwareFile;
  kit.imagePresent = !image.empty() && fileIsThere(firmwareFolder + image);
  if (kit.imagePresent || image.empty()) return;
  addInstallerProblem(report, kit.line, formatError("1002h", {image, firmwareFolder}),
                      profileName(index));
}

// The comparison reads the version's four fields on every machine, and the stamp must be able
// to carry it: either failing ends every run of the profile before the flash.
void checkFirmwareVersion(KitReport& report, std::size_t index) {
  const KitProfile& kit = report.profiles[index];
  if (hasErrorAt(report, "1013h", kit.line)) return;
  std::optional<std::string> problem = stampVersionProblem(kit.profile.firmwareVersion);
  if (!problem) return;
  std::string outcome = codeOf(*problem) == "1019h"
                            ? " Every machine of this profile ends with 1019h, before the flash."
                            : " Every machine of this profile ends with 1018h.";
  addInstallerProblem(report, kit.line, *problem + outcome, profileName(index));
}

void checkPrerequisiteNumber(KitReport& report, std::size_t index) {
  const KitProfile& kit = report.profiles[index];
  const std::string& prerequisite = kit.profile.getPrereqBios();
  if (prerequisite.empty() || digitsNumber(prerequisite)) return;
  addInstallerProblem(
      report, kit.prereqLine,
      formatError("2012s", {prerequisite}) + " Every machine of this profile ends with 2012s.",
      profileName(index));
}

void checkNeverChosen(KitReport& report, std::size_t index) {
  const KitProfile& kit = report.profiles[index];
  if (index + 1 == report.profiles.size() || kit.platformLines > 0) return;
  addProblem(report, Severity::warning, kit.line, "",
             profileName(index) + "it has no supportedPlatforms line, so it is never chosen");
}

void checkProfiles(KitReport& report) {
  for (std::size_t i = 0; i < report.profiles.size(); ++i) {
    checkImage(report, i);
    checkFirmwareVersion(report, i);
    checkPrerequisiteNumber(report, i);
    checkNeverChosen(report, i);
  }
}

void checkKitboxFiles(KitReport& report) {
  if (!fileIsThere(toolFolder + toolFileName)) {
    addInstallerProblem(report, 0, formatError("1002h", {toolFileName, toolFolder}),
                        "every run fails: ");
  }
  if (!fileIsThere(readmeFileName)) {
    addProblem(report, Severity::warning, 0, "1002h",
               "README.htm is missing: an interactive run that the user declines ends with "
               "1002h instead of opening it");
  }
  if (!fileIsThere(meInfoFolder + meInfoFileName)) {
    addProblem(report, Severity::info, 0, "1002h",
               meInfoFileName + " is missing from " + meInfoFolder +
                   ": -meinfo and -systeminfo fail with 1002h");
  }
}

// Each of Intel's tools in the Kitbox, as the installer checks it before it runs it.
void checkToolSignatures(KitReport& report) {
  bool checkable = true;
  for (const std::string* path : {&toolFolder, &meInfoFolder}) {
    const std::string& file = path == &toolFolder ? toolFileName : meInfoFileName;
    if (!fileIsThere(*path + file)) continue;
    platform::Signature signature = platform::checkProgramSignature(*path + file);
    checkable = checkable && signature.state != platform::SignatureState::notSupported;
    std::optional<std::string> finding = signatureFinding(signature);
    if (!finding) continue;
    if (signature.state == platform::SignatureState::none) {
      addProblem(report, Severity::warning, 0, "2018s",
                 file +
                     " has no signature: the installer runs it only with -allowunsigned, "
                     "for a lab Kitbox");
    } else {
      addInstallerProblem(report, 0, formatError("2018s", {file, *finding}));
    }
  }
  if (!checkable) {
    addProblem(report, Severity::info, 0, "",
               "this build cannot check the signatures of Intel's tools: check the Kitbox with "
               "the Windows mefwkit");
  }
}

bool isNamedImage(const KitReport& report, const std::string& fileName) {
  return std::any_of(report.profiles.begin(), report.profiles.end(), [&](const KitProfile& kit) {
    return toLower(kit.profile.meFirmwareFile) == toLower(fileName);
  });
}

void noteUnnamedImages(KitReport& report) {
  std::vector<std::string> names =
      platform::filesInFolder(firmwareFolder).value_or(std::vector<std::string>{});
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (isNamedImage(report, name)) continue;
    addProblem(report, Severity::info, 0, "",
               firmwareFolder + name + " is not named by any profile of input.txt");
  }
}

void orderByLine(KitReport& report) {
  std::stable_sort(report.problems.begin(), report.problems.end(),
                   [](const KitProblem& a, const KitProblem& b) {
                     int lineA = a.line > 0 ? a.line : INT32_MAX;
                     int lineB = b.line > 0 ? b.line : INT32_MAX;
                     return lineA < lineB;
                   });
}

}  // namespace

KitReport checkKitbox() {
  KitReport report;
  if (fileIsThere(inputFileName)) {
    readProfiles(report, readFileLines(inputFileName));
    checkProfiles(report);
  } else {
    addInstallerProblem(report, 0, formatError("1002h", {inputFileName, ".\\"}));
  }
  checkKitboxFiles(report);
  checkToolSignatures(report);
  noteUnnamedImages(report);
  orderByLine(report);
  return report;
}

int checkExitStatus(const KitReport& report) {
  int status = 0;
  for (const KitProblem& problem : report.problems) {
    if (problem.severity == Severity::error) status = 2;
    if (problem.severity == Severity::warning) status = std::max(status, 1);
  }
  return status;
}

const char* severityName(Severity severity) {
  if (severity == Severity::error) return "error";
  if (severity == Severity::warning) return "warning";
  return "info";
}
