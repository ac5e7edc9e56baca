// input.txt as a Kitbox author (or a damaged copy) might write it. The parser must either
// accept profiles that the rest of the run can rely on or refuse with one of its codes.
#include <set>

#include "fuzz_support.h"
#include "process_state.h"
#include "profiles/input_parser.h"
#include "profiles/platform_decoder.h"
#include "regex_reference.h"

namespace {

bool isStoredCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

bool isFileNameCharacter(char c) { return isStoredCharacter(c) || (c >= 'A' && c <= 'Z'); }

bool allOf(const std::string& text, bool (*test)(char)) {
  for (char c : text) {
    if (!test(c)) return false;
  }
  return true;
}

// The file name up to, not including, its fourth dot; all of it when it has fewer.
std::string versionOfFileName(const std::string& fileName) {
  std::size_t position = 0;
  for (int dots = 0; dots < 4; ++dots) {
    std::size_t dot = fileName.find('.', position);
    if (dot == std::string::npos) return fileName;
    position = dot + 1;
  }
  return fileName.substr(0, position - 1);
}

bool hasFirmwareVersionShape(const std::string& fileName) {
  return fileName.size() > referenceTextBytes ||  // beyond what std::regex survives
         referenceGroups(R"([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\..*)", fileName).has_value();
}

void checkProfile(const InputProfile& profile) {
  const std::string& file = profile.meFirmwareFile;
  fuzzCheck(allOf(file, isFileNameCharacter), "firmware file name out of its class: " + file);
  fuzzCheck(hasFirmwareVersionShape(file), "firmware file without a version accepted: " + file);
  fuzzCheck(profile.firmwareVersion == versionOfFileName(file),
            "firmware version " + profile.firmwareVersion + " not cut from " + file);
  for (const std::string& platform : profile.getSupportedPlatforms()) {
    fuzzCheck(decodePlatform(platform).has_value(), "unknown platform accepted: " + platform);
  }
  fuzzCheck(allOf(profile.getPrereqBios(), isStoredCharacter),
            "prerequisite not lower-cased or out of its class: " + profile.getPrereqBios());
  const std::string& message = profile.getUpfrontMessage();
  fuzzCheck(message.find("\\n") == std::string::npos, "\\n left in the message: " + message);
  fuzzCheck(message.find('\r') == std::string::npos, "carriage return in the message: " + message);
}

// No BIOS family may belong to two profiles, or the matcher's choice would depend on order.
void checkFamiliesUnique(const std::vector<InputProfile>& profiles) {
  std::set<std::string> claimed;
  for (const InputProfile& profile : profiles) {
    std::set<std::string> families;
    for (const std::string& platform : profile.getSupportedPlatforms()) {
      families.insert(decodePlatform(platform).value_or(""));
    }
    for (const std::string& family : families) {
      fuzzCheck(claimed.insert(family).second, "BIOS family claimed twice: " + family);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  writeWholeFile("input.txt", asText(data, size));
  std::vector<InputProfile> profiles;
  try {
    loadInputProfiles(profiles);
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"1010h", "1011h", "1012h", "1013h", "1016h"}});
    return 0;
  }
  fuzzCheck(!profiles.empty(), "accepted without a profile");
  fuzzCheck(!profiles.back().getSupportedPlatforms().empty(), "last profile has no platform");
  for (const InputProfile& profile : profiles) {
    checkProfile(profile);
  }
  checkFamiliesUnique(profiles);
  return 0;
}
