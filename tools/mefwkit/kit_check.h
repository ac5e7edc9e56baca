// The Kitbox checker: reads a Kitbox as the installer would and lists every problem it can
// find without a machine, with the input.txt line where one applies.
#pragma once

#include <string>
#include <vector>

#include "profiles/input_profile.h"

enum class Severity { error, warning, note };

struct KitProblem {
  Severity severity = Severity::error;
  // The input.txt line, from 1; 0 when the problem has none.
  int line = 0;
  // The code the installer would end with, such as "1013h"; empty when there is none.
  std::string code;
  std::string message;
};

struct KitProfile {
  InputProfile profile;
  // The meFirmwareFile line that opened it, the last prereqBios and upfrontMessage lines, and
  // how many supportedPlatforms lines it had.
  int line = 0;
  int prereqLine = 0;
  int messageLine = 0;
  int platformLines = 0;
  bool imagePresent = false;
};

struct KitReport {
  std::vector<KitProfile> profiles;
  // Ordered by line; problems without a line come last.
  std::vector<KitProblem> problems;
};

// Checks the Kitbox in the working folder.
KitReport checkKitbox();

// 0 without errors or warnings, 1 with warnings only, 2 with any error.
int checkExitStatus(const KitReport& report);

const char* severityName(Severity severity);
