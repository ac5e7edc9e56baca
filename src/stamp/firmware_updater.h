#pragma once

#include <optional>
#include <string>
#include <vector>

// Why the version stamp cannot carry a version: the "1018h" or "1019h" message the stamp
// writer raises for it; nothing when it can.
std::optional<std::string> stampVersionProblem(const std::string& version);

// Raises "1018h" or "1019h" when the version stamp cannot carry the version (four fields of 0
// to 65535 in 7 to 23 printable characters), so that a version can be refused before the
// firmware is flashed rather than when its stamp is written afterwards.
void checkStampCanCarry(const std::string& version);

// Holds the stamp template and the update tool's command pieces, and writes the version
// stamp. The update itself is run from them by runUpdate (update/update_run.h).
class FirmwareUpdater {
 public:
  FirmwareUpdater(std::string stampFileName, std::string updateCommand,
                  std::string allowSameVersionSwitch, std::string silentSwitch);

  std::string getUpdateCommand() const { return updateCommand; }
  std::string getAllowSameVersionSwitch() const { return allowSameVersionSwitch; }

  // Writes MeFwVer.sys at the root of the system drive: the stamp template with its version
  // resource rewritten to carry the version. The file is replaced only once it was written
  // completely. Raises "2001s" without a system drive, "2003s" when the file cannot be
  // written, "1018h" or "1019h" for a version the stamp cannot carry.
  void writeVersionStamp(const std::string& version) const;

  // Everything writeVersionStamp makes sure of before it touches a file, with the same lines
  // and the same refusals: "2001s" without a system drive, "1018h" or "1019h" for a version
  // the stamp cannot carry. Writes nothing.
  void checkVersionStamp(const std::string& version) const;

 private:
  // The stamp's path, once the system drive and the version passed the checks above.
  std::string stampPath(const std::string& version) const;

  std::vector<std::string> stampTemplate;
  std::string stampFileName;
  std::string updateCommand;
  std::string allowSameVersionSwitch;
  std::string silentSwitch;
};
