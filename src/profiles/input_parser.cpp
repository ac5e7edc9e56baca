#include "profiles/input_parser.h"

#include <optional>

#include "app/error_catalogue.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "profiles/platform_decoder.h"
#include "settings/text_case.h"

namespace {

const char* const inputFileName = "input.txt";

// The installer stops at the first problem; a checker records it and reads on.
void reportProblem(InputParse& parse, const std::string& code,
                   const std::vector<std::string>& arguments = {}) {
  if (parse.problems == nullptr) raiseError(code, arguments);
  parse.problems->push_back({code, formatError(code, arguments), parse.lineNumber});
}

void addFirmwareLine(InputParse& parse, const std::string& fileName) {
  printVerbose(std::to_string(parse.profileCounter) +
                   ": New input profile created.\nFirmware file: " + fileName +
                   "\nInput firmware version: " + versionOfFileName(fileName) + "\n",
               "default");
  ++parse.profileCounter;
  if (!matchFirmwareVersionShape(fileName)) reportProblem(parse, "1013h");
  InputProfile profile;
  profile.meFirmwareFile = fileName;
  profile.firmwareVersion = versionOfFileName(fileName);
  parse.profiles.push_back(profile);
  parse.profileSeen = true;
  parse.platformsSeen = false;
  parse.lastProfileLine = parse.lineNumber;
}

// A family may belong to one profile only; the first earlier claim, in file order, is named.
bool familyIsFree(InputParse& parse, const std::string& platform, const std::string& family) {
  const std::vector<InputProfile>& profiles = parse.profiles;
  if (profiles.size() < 2) return true;
  std::size_t current = profiles.size() - 1;
  for (std::size_t i = 0; i < current; ++i) {
    for (const std::string& earlier : profiles[i].getSupportedPlatforms()) {
      std::string earlierFamily = decodePlatform(earlier).value_or("");
      if (earlierFamily != family) continue;
      reportProblem(
          parse, "1016h",
          {std::to_string(current), platform, family, std::to_string(i), earlier, earlierFamily});
      return false;
    }
  }
  return true;
}

void addPlatform(InputParse& parse, const std::string& platform) {
  // Set before the checks, so that a checker reading on after a bad item does not also
  // report the profile as one without platforms.
  parse.platformsSeen = true;
  std::optional<std::string> family = decodePlatform(platform);
  if (!family) return reportProblem(parse, "1010h", {platform});
  if (!familyIsFree(parse, platform, *family)) return;
  printVerbose("Supported platform: " + platform + "\n", "default");
  parse.profiles.back().addSupportedPlatform(platform);
}

void addPlatformsLine(InputParse& parse, const std::string& list) {
  std::string items = removeBlanks(toLower(list + ","));
  if (items == ",") return reportProblem(parse, "1012h");
  std::size_t start = 0;
  for (std::size_t comma = items.find(','); comma != std::string::npos;
       comma = items.find(',', start)) {
    addPlatform(parse, items.substr(start, comma - start));
    start = comma + 1;
  }
}

std::string withLineBreaks(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      result += '\n';
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

void addMessageLine(InputParse& parse, const std::string& message) {
  std::string text = withLineBreaks(message);
  printVerbose("Upfront Message: " + text + "\n", "default");
  parse.profiles.back().setUpfrontMessage(text);
}

void addPrerequisiteLine(InputParse& parse, const std::string& version) {
  printVerbose("Prerequisite BIOS: " + version + "\n", "default");
  parse.profiles.back().setPrereqBios(removeBlanks(version));
}

void addFieldLine(InputParse& parse, InputKey key, const std::string& value) {
  // Every field belongs to the profile opened last; a checker skips one that has none.
  if (!parse.profileSeen) return reportProblem(parse, "1011h");
  if (key == InputKey::supportedPlatforms) addPlatformsLine(parse, value);
  if (key == InputKey::upfrontMessage) addMessageLine(parse, value);
  if (key == InputKey::prereqBios) addPrerequisiteLine(parse, value);
}

}  // namespace

InputKeyMatch parseInputLine(InputParse& parse, const std::string& line) {
  InputKeyMatch match = recognizeInputKey(line);
  if (match.key == InputKey::none) return match;
  std::string value = line.substr(match.valueBegin, match.valueEnd - match.valueBegin);
  if (match.key == InputKey::firmwareFile) {
    addFirmwareLine(parse, value);
  } else {
    addFieldLine(parse, match.key, value);
  }
  return match;
}

void finishInputProfiles(InputParse& parse) {
  parse.lineNumber = 0;
  if (!parse.profileSeen) return reportProblem(parse, "1011h");
  parse.lineNumber = parse.lastProfileLine;
  if (!parse.platformsSeen) reportProblem(parse, "1012h");
}

void loadInputProfiles(std::vector<InputProfile>& profiles) {
  checkFileExists("", inputFileName);
  std::vector<std::string> lines = readFileLines(inputFileName);
  InputParse parse{profiles};
  for (const std::string& line : lines) {
    ++parse.lineNumber;
    parseInputLine(parse, line);
  }
  finishInputProfiles(parse);
}

std::string versionOfFileName(const std::string& fileName) {
  std::size_t fourthDot = findFourthOccurrence(fileName, '.');
  return fourthDot == std::string::npos ? fileName : fileName.substr(0, fourthDot);
}

std::string removeBlanks(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != ' ' && c != '\t') result += c;
  }
  return result;
}

std::size_t findFourthOccurrence(const std::string& text, char separator) {
  std::size_t position = std::string::npos;
  for (int found = 0; found < 4; ++found) {
    position = text.find(separator, position == std::string::npos ? 0 : position + 1);
    if (position == std::string::npos) return position;
  }
  return position;
}
