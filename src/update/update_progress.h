#pragma once

#include <string>

// What the progress parser has recorded. The four record flags are set once each and never
// cleared; `completed` tells whether the current run of the update tool reported completion.
struct ProgressRecords {
  bool verifyStartShown = false;
  bool verifyEndShown = false;
  bool updateStartShown = false;
  bool updateEndShown = false;
  bool completed = false;
};

ProgressRecords& progressRecords();

// Puts every record flag back to unset (for tests).
void resetProgressRecords();

// Handles one line of the update tool's output: redraws the installer's own progress line,
// writes the permanent 0 % and 100 % records, reports the end of verification and of the
// update, or turns a tool error into a raised message ("3002n" for a firmware that waits for a
// reboot, otherwise "ERROR <number>u: <text>").
void parseUpdateProgress(const std::string& line);
