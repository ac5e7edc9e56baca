#pragma once

#include <string>

#include "profiles/input_profile.h"

// The versions of the machine's firmware and driver components, and the operations that
// find them out.
class SystemInfo {
 public:
  const std::string meInfoFolder = "MEInfo\\Win\\WINDOWS64\\";
  const std::string meInfoExe = "MEInfoWin64.exe";
  const std::string meInfoVerboseCommand = "MEInfoWin64.exe -verbose";
  const std::string meInfoLogFile = "meInfoVerbose.txt";

  std::string biosVersion;
  std::string meFirmwareVersion;
  std::string solVersion;
  std::string mebxVersion;
  std::string lmsVersion;
  std::string pmcVersion;
  std::string meiVersion;
  std::string meInfoVersion;
  std::string fwUpdLclVersion;
  std::string dalVersion;

  // Stores the version lower-cased.
  void setBiosVersion(std::string version);
  std::string getMeFirmwareVersion() const { return meFirmwareVersion; }

  // Runs Intel's update tool with its version option and stores the installed firmware
  // version and the tool's own version. Raises "1000h", "1015h", or the tool's own error as
  // "ERROR <number>v: <rest of the tool's output>".
  void queryMeFirmwareVersion(std::string command);

  // Prints the extended listing of ten versions: runs the driver walk and MEInfo; the BIOS
  // and ME firmware versions must have been found before.
  void showSystemInfo();

  // Runs MEInfo and fills the versions its report names. Raises "1002h" when the tool is
  // missing, "1000h" when it cannot be started.
  void readMeInfoVersions();

  // Picks the first version a report line names (MEBx, LMS, MEI, MEInfo, PMC, in that order).
  void parseMeInfoLine(std::string line);

  // Saves MEInfo's verbose report to meInfoVerbose.txt, as the tool printed it.
  void writeMeInfoLog();
};
