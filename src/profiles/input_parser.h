#pragma once

#include <string>
#include <vector>

#include "profiles/input_keys.h"
#include "profiles/input_profile.h"

// Reads input.txt from the working folder into profiles, validating as it goes: every
// platform must be known to the platform decoder, no BIOS family may be claimed by two
// profiles, every field must follow a meFirmwareFile line, and each firmware file name must
// carry a four-part version. Raises "1001h", "1002h", "1010h" to "1013h" or "1016h".
void loadInputProfiles(std::vector<InputProfile>& profiles);

// One problem of input.txt, as the installer would raise it: the code, the full message and
// the line it stands on (from 1; 0 for the end of the file).
struct InputProblem {
  std::string code;
  std::string message;
  int line = 0;
};

// The state of reading input.txt line by line. Without a problem list the first problem is
// raised, as the installer needs; with one, every problem is recorded and reading goes on
// past it as far as that makes sense, so that a checker can report all of them at once.
struct InputParse {
  std::vector<InputProfile>& profiles;
  std::vector<InputProblem>* problems = nullptr;
  bool profileSeen = false;
  bool platformsSeen = false;
  int profileCounter = 0;
  int lineNumber = 0;
  // The line that opened the last profile.
  int lastProfileLine = 0;
};

// Reads one line into the profiles; the line number must be set by the caller. Returns the key
// the line was read as (InputKey::none for an ignored line).
InputKeyMatch parseInputLine(InputParse& parse, const std::string& line);

// The checks at the end of the file: a profile must exist, and the last one needs platforms.
void finishInputProfiles(InputParse& parse);

// A copy without blanks and tabs.
std::string removeBlanks(const std::string& text);

// Position of the fourth occurrence of the separator, or npos when there are fewer.
std::size_t findFourthOccurrence(const std::string& text, char separator);

// A firmware file name's version: the name up to its fourth dot, or all of it with fewer dots.
std::string versionOfFileName(const std::string& fileName);
