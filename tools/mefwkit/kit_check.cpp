#include "mefwkit/kit_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "app/error_catalogue.h"
#include "checks/bios_prerequisite.h"
#include "console/file_ops.h"
#include "mefwkit/kit_tool_folder.h"
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
// The release ships the installer apart from the Kitbox template; a deployment runs it from
// the Kitbox folder.
const char* const installerFileName = "mefwupdate.exe";

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

// Where each profile's lines stand, which the parser does not keep; a second prereqBios or
// upfrontMessage of one profile replaces the first without a word.
void noteLine(KitReport& report, std::vector<KitProfile>& kitProfiles,
              const std::vector<InputProfile>& profiles, const InputParse& parse,
              const InputKeyMatch& match) {
  if (kitProfiles.size() < profiles.size()) kitProfiles.push_back({{}, parse.lineNumber});
  if (kitProfiles.empty() || match.key == InputKey::firmwareFile) return;
  KitProfile& kit = kitProfiles.back();
  int* earlier = match.key == InputKey::prereqBios       ? &kit.prereqLine
                 : match.key == InputKey::upfrontMessage ? &kit.messageLine
                                                         : nullptr;
  if (earlier != nullptr && *earlier > 0) {
    addProblem(report, Severity::warning, parse.lineNumber, "",
               "a second " + std::string(inputKeyName(match.key)) + " in profile " +
                   std::to_string(kitProfiles.size() - 1) + ": it replaces the one on line " +
                   std::to_string(*earlier));
  }
  if (earlier != nullptr) *earlier = parse.lineNumber;
  if (match.key == InputKey::supportedPlatforms) ++kit.platformLines;
}

// The installer reads nothing past an input.txt error, so none of its profiles is ever used.
std::string inputErrorText(const InputProblem& problem) {
  std::string text = problem.message;
  if (problem.code == "1010h" && textOf(text).compare(0, 15, " does not exist") == 0) {
    text += " The platform name is empty: the list ends with a comma or holds two in a row.";
  }
  bool sentence = !text.empty() && text.back() == '.';
  return text + (sentence ? "" : ".") +
         " This error stops every run of the Kitbox, not just one profile's.";
}

std::string lineList(const std::vector<int>& lines) {
  std::string text;
  for (int line : lines) {
    text += (text.empty() ? "" : ", ") + std::to_string(line);
  }
  return text;
}

// The key lines after an ignored meFirmwareFile line, up to the next profile: they fill the
// profile before it instead of the one the author meant to open.
std::vector<int> strayLines(const std::vector<InputKey>& keys, std::size_t ignoredIndex) {
  std::vector<int> lines;
  for (std::size_t i = ignoredIndex + 1; i < keys.size() && keys[i] != InputKey::firmwareFile;
       ++i) {
    if (keys[i] != InputKey::none) lines.push_back(static_cast<int>(i) + 1);
  }
  return lines;
}

// An ignored line that looks like a key: a warning, or an error when it was meant to open a
// profile and later key lines land in the previous one.
void addIgnoredLineProblem(KitReport& report, const std::vector<InputKey>& keys, std::size_t index,
                           std::size_t profilesBefore, const IgnoredLine& ignored) {
  int line = static_cast<int>(index) + 1;
  std::vector<int> stray = strayLines(keys, index);
  if (ignored.key != InputKey::firmwareFile || stray.empty()) {
    addProblem(report, Severity::warning, line, "", ignored.hint);
    return;
  }
  std::string where = profilesBefore == 0
                          ? "come before any profile, which the installer refuses (1011h)"
                          : "fall into profile " + std::to_string(profilesBefore - 1) +
                                ", which then sends its image to those platforms";
  addProblem(report, Severity::error, line, "",
             ignored.hint + "; the key lines after it (" +
                 (stray.size() == 1 ? "line " : "lines ") + lineList(stray) + ") " + where);
}

void addLineHints(KitReport& report, int line, const std::vector<std::string>& hints) {
  for (const std::string& hint : hints) {
    addProblem(report, Severity::warning, line, "", hint);
  }
}

// input.txt line by line, through the installer's own parser, reading on past each problem.
void readProfiles(KitReport& report, const std::vector<std::string>& lines) {
  std::vector<InputProfile> profiles;
  std::vector<InputProblem> problems;
  InputParse parse{profiles, &problems};
  std::vector<KitProfile> kitProfiles;
  std::vector<InputKey> keys;
  for (const std::string& line : lines) {
    keys.push_back(recognizeInputKey(line).key);
  }
  for (const std::string& line : lines) {
    ++parse.lineNumber;
    std::size_t known = problems.size();
    std::size_t profilesBefore = profiles.size();
    InputKeyMatch match = parseInputLine(parse, line);
    for (std::size_t i = known; i < problems.size(); ++i) {
      addInstallerProblem(report, problems[i].line, inputErrorText(problems[i]));
    }
    noteLine(report, kitProfiles, profiles, parse, match);
    if (match.key != InputKey::none) {
      addLineHints(report, parse.lineNumber, keyLineHints(line, match));
    } else if (std::optional<IgnoredLine> ignored = ignoredLineHint(line)) {
      addIgnoredLineProblem(report, keys, static_cast<std::size_t>(parse.lineNumber - 1),
                            profilesBefore, *ignored);
    }
  }
  std::size_t known = problems.size();
  finishInputProfiles(parse);
  for (std::size_t i = known; i < problems.size(); ++i) {
    addInstallerProblem(report, problems[i].line, inputErrorText(problems[i]));
  }
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    kitProfiles[i].profile = profiles[i];
  }
  report.profiles = kitProfiles;
}

// Windows PowerShell 5.1 writes UTF-16 with ">" and Out-File; the installer then finds no key
// at all, since NULs stand between the letters.
bool isUtf16(const std::vector<std::string>& lines) {
  if (lines.empty()) return false;
  const std::string& first = lines.front();
  if (first.compare(0, 2, "\xFF\xFE") == 0 || first.compare(0, 2, "\xFE\xFF") == 0) return true;
  return std::any_of(lines.begin(), lines.end(),
                     [](const std::string& line) { return line.find('\0') != std::string::npos; });
}

bool fileIsThere(const std::string& path) {
  platform::InputFile file(path, platform::FileMode::raw);
  return file.isOpen();
}

std::string profileName(std::size_t index) { return "profile " + std::to_string(index) + ": "; }

// Windows, where Kitboxes run, finds a file whatever the letter case of its name: so does the
// check, on every build. The name as the folder holds it, or nothing.
std::optional<std::string> imageFound(const std::string& image) {
  std::vector<std::string> names =
      platform::filesInFolder(firmwareFolder).value_or(std::vector<std::string>{});
  auto found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
    return toLower(name) == toLower(image);
  });
  if (found == names.end()) return std::nullopt;
  return *found;
}

// The image must be there, and be one the installer can copy into its private folder.
void checkImage(KitReport& report, std::size_t index) {
  KitProfile& kit = report.profiles[index];
  const std::string& image = kit.profile.meFirmwareFile;
  if (image.empty()) return;
  // A name with folders in it is not in the listing; the installer opens it as it stands.
  std::optional<std::string> found = imageFound(image);
  if (!found && fileIsThere(firmwareFolder + image)) found = image;
  kit.imagePresent = found.has_value();
  std::optional<std::string> refusal =
      found ? imageCopyRefusal(*found) : formatError("1002h", {image, firmwareFolder});
  if (refusal) addInstallerProblem(report, kit.line, *refusal, profileName(index));
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

// "N01-1.04.0": the family's digits join the number, so almost no BIOS meets it.
void checkFamilyInPrerequisite(KitReport& report, std::size_t index) {
  const KitProfile& kit = report.profiles[index];
  const std::string& prerequisite = kit.profile.getPrereqBios();
  bool family = prerequisite.size() >= 3 && prerequisite[0] >= 'a' && prerequisite[0] <= 'z' &&
                std::isdigit(static_cast<unsigned char>(prerequisite[1])) &&
                std::isdigit(static_cast<unsigned char>(prerequisite[2]));
  std::optional<int> number = family ? digitsNumber(prerequisite) : std::nullopt;
  if (!number) return;
  addProblem(report, Severity::warning, kit.prereqLine, "",
             profileName(index) + "prereqBios \"" + prerequisite +
                 "\" begins with a family code, whose digits join the number: it becomes " +
                 std::to_string(*number) +
                 ", and machines whose BIOS number is smaller end with 2011s. Write the version "
                 "alone.");
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
    checkFamilyInPrerequisite(report, i);
    checkNeverChosen(report, i);
  }
}

// A detection rule checks one firmware version; a Kitbox that ships two makes the machines of
// the other one look failed, or updated when they are not.
void checkOneFirmwareVersion(KitReport& report) {
  for (std::size_t i = 1; i < report.profiles.size(); ++i) {
    const InputProfile& first = report.profiles[0].profile;
    const KitProfile& kit = report.profiles[i];
    if (kit.profile.firmwareVersion == first.firmwareVersion) continue;
    addProblem(report, Severity::warning, kit.line, "",
               profileName(i) + "firmware " + kit.profile.firmwareVersion + " differs from " +
                   first.firmwareVersion +
                   " of profile 0: a detection rule checks one version (docs/deployment.md, "
                   "\"Detecting the installed version\"); ship one Kitbox per firmware version");
    return;
  }
}

// Windows finds the installer whatever the letter case of its name; so does the check.
bool installerIsThere() {
  std::vector<std::string> names =
      platform::filesInFolder(".").value_or(std::vector<std::string>{});
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& name) { return toLower(name) == installerFileName; });
}

void checkKitboxFiles(KitReport& report) {
  if (!installerIsThere()) {
    addProblem(report, Severity::warning, 0, "",
               std::string(installerFileName) +
                   " is missing: copy it from the release into the Kitbox, beside input.txt, "
                   "before the Kitbox is deployed");
  }
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
    addProblem(report, Severity::note, 0, "1002h",
               meInfoFileName + " is missing from " + meInfoFolder +
                   ": -meinfo and -systeminfo fail with 1002h");
  }
}

// Each of Intel's tool folders in the Kitbox, by the rules the installer applies to its copies
// before it runs anything from them. A program file without a signature is an error too: the
// installer runs it only with -allowunsigned, which no deployment may use.
bool checkToolFolder(KitReport& report, const std::string& folder, const std::string& tool) {
  ToolFolderVerdict verdict = judgeToolFolder(folder, tool, true, true);
  // Every run without -allowunsigned refuses such a file; only a lab Kitbox may hold one.
  for (const std::string& file : verdict.admittedUnsigned) {
    addInstallerProblem(report, 0,
                        formatError("2018s", {file, "no signature"}) +
                            " Only a lab Kitbox with simulated tools runs without a signature, "
                            "with -allowunsigned.");
  }
  if (verdict.refusal) addInstallerProblem(report, 0, *verdict.refusal);
  return verdict.signaturesChecked;
}

void checkToolSignatures(KitReport& report) {
  bool checkable = true;
  const std::pair<const std::string&, const std::string&> tools[] = {
      {toolFolder, toolFileName}, {meInfoFolder, meInfoFileName}};
  for (const auto& [folder, file] : tools) {
    if (fileIsThere(folder + file)) checkable = checkToolFolder(report, folder, file) && checkable;
  }
  if (!checkable) {
    addProblem(report, Severity::note, 0, "",
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
    addProblem(report, Severity::note, 0, "",
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

void readInputFile(KitReport& report) {
  std::vector<std::string> lines = readFileLines(inputFileName);
  if (isUtf16(lines)) {
    addProblem(report, Severity::error, 1, "1011h",
               "input.txt is UTF-16; save it as ANSI or UTF-8. The installer finds no key in it "
               "and stops every run with 1011h.");
    return;
  }
  readProfiles(report, lines);
  checkProfiles(report);
  checkOneFirmwareVersion(report);
}

}  // namespace

KitReport checkKitbox() {
  KitReport report;
  if (fileIsThere(inputFileName)) {
    readInputFile(report);
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
  return "note";
}
