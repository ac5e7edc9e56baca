#include "profiles/input_profile.h"

#include "settings/text_case.h"

void InputProfile::addSupportedPlatform(const std::string& platform) {
  supportedPlatforms.push_back(toLower(platform));
}

void InputProfile::setPrereqBios(const std::string& version) { prereqBios = toLower(version); }
