#pragma once

#include <string>
#include <vector>

// One profile of input.txt: a firmware image, the platforms it is meant for, an optional
// message to show first and an optional minimum BIOS version.
class InputProfile {
 public:
  std::string meFirmwareFile;
  // The firmware file name up to, not including, its fourth dot.
  std::string firmwareVersion;

  const std::string& getUpfrontMessage() const { return upfrontMessage; }
  std::vector<std::string> getSupportedPlatforms() const { return supportedPlatforms; }
  const std::string& getPrereqBios() const { return prereqBios; }

  // Stored lower-cased; duplicates are kept.
  void addSupportedPlatform(const std::string& platform);
  void setUpfrontMessage(std::string message) { upfrontMessage = std::move(message); }
  // Stored lower-cased.
  void setPrereqBios(const std::string& version);

 private:
  std::string upfrontMessage;
  std::vector<std::string> supportedPlatforms;
  std::string prereqBios;
};
