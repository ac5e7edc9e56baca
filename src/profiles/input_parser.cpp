#include "profiles/input_parser.h"

#include "app/error_catalogue.h"
#include "console/file_ops.h"
#include "console/messages.h"
#include "profiles/input_keys.h"
#include "profiles/platform_decoder.h"
#include "settings/text_case.h"

namespace {

const char* const inputFileName = "input.txt";

struct ParseState {
  std::vector<InputProfile>& profiles;
  bool profileSeen = false;
  bool platformsSeen = false;
  int profileCounter = 0;
};

std::string versionOfFileName(const std::string& fileName) {
  std::size_t fourthDot = findFourthOccurrence(fileName, '.');
  return fourthDot == std::string::npos ? fileName : fileName.substr(0, fourthDot);
}

void addFirmwareLine(ParseState& state, const std::string& fileName) {
  printVerbose(std::to_string(state.profileCounter) +
                   ": New input profile created.\nFirmware file: " + fileName +
                   "\nInput firmware version: " + versionOfFileName(fileName) + "\n",
               "default");
  ++state.profileCounter;
  if (!matchFirmwareVersionShape(fileName)) raiseError("1013h");
  InputProfile profile;
  profile.meFirmwareFile = fileName;
  profile.firmwareVersion = versionOfFileName(fileName);
  state.profiles.push_back(profile);
  state.profileSeen = true;
  state.platformsSeen = false;
}

// A family may belong to one profile only; the first earlier claim, in file order, is named.
void checkFamilyConflict(const std::vector<InputProfile>& profiles, const std::string& platform,
                         const std::string& family) {
  if (profiles.size() < 2) return;
  std::size_t current = profiles.size() - 1;
  for (std::size_t i = 0; i < current; ++i) {
    for (const std::string& earlier : profiles[i].getSupportedPlatforms()) {
      std::string earlierFamily = decodePlatform(earlier).value_or("");
      if (earlierFamily == family) {
        raiseError("1016h", {std::to_string(current), platform, family, std::to_string(i), earlier,
                             earlierFamily});
      }
    }
  }
}

void addPlatformsLine(ParseState& state, const std::string& list) {
  if (!state.profileSeen) raiseError("1011h");
  std::string items = removeBlanks(toLower(list + ","));
  if (items == ",") raiseError("1012h");
  std::size_t start = 0;
  for (std::size_t comma = items.find(','); comma != std::string::npos;
       comma = items.find(',', start)) {
    std::string platform = items.substr(start, comma - start);
    std::optional<std::string> family = decodePlatform(platform);
    if (!family) raiseError("1010h", {platform});
    checkFamilyConflict(state.profiles, platform, *family);
    printVerbose("Supported platform: " + platform + "\n", "default");
    state.platformsSeen = true;
    state.profiles.back().addSupportedPlatform(platform);
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

void addMessageLine(ParseState& state, const std::string& message) {
  if (!state.profileSeen) raiseError("1011h");
  std::string text = withLineBreaks(message);
  printVerbose("Upfront Message: " + text + "\n", "default");
  state.profiles.back().setUpfrontMessage(text);
}

void addPrerequisiteLine(ParseState& state, const std::string& version) {
  if (!state.profileSeen) raiseError("1011h");
  printVerbose("Prerequisite BIOS: " + version + "\n", "default");
  state.profiles.back().setPrereqBios(removeBlanks(version));
}

void parseLine(ParseState& state, const std::string& line) {
  std::optional<InputKeyMatch> found = matchInputKey(line);
  if (!found) return;
  std::string value = spanText(line, found->match.group1);
  switch (found->key) {
    case InputKey::meFirmwareFile:
      return addFirmwareLine(state, value);
    case InputKey::supportedPlatforms:
      return addPlatformsLine(state, value);
    case InputKey::upfrontMessage:
      return addMessageLine(state, value);
    case InputKey::prereqBios:
      return addPrerequisiteLine(state, value);
  }
}

}  // namespace

void loadInputProfiles(std::vector<InputProfile>& profiles) {
  checkFileExists("", inputFileName);
  std::vector<std::string> lines = readFileLines(inputFileName);
  ParseState state{profiles};
  for (const std::string& line : lines) {
    parseLine(state, line);
  }
  if (!state.profileSeen) raiseError("1011h");
  if (!state.platformsSeen) raiseError("1012h");
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
