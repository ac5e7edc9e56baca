// Every line the installer shows goes through here: the text is recorded in the run log,
// the console colour of its type is set, and the text is shown if its print level is on.
// The text is written unchanged; callers bring their own line ends.
//
// The exceptions, written straight to standard output, in neither the run log nor a colour of
// their own:
// - the update run's progress redraws and its "Verifying FW image:  [ COMPLETE ]" line
//   (update/update_progress.cpp; the super-verbose copy of that line is logged);
// - the complaint about an invalid answer and the line feed after the answer
//   (update/confirmation.cpp);
// - the two reboot notices, the failure text of a log file that could not be written, and the
//   last-resort "1017h" line when nothing else is left to report through (app/entry.cpp);
// - on POSIX, the platform's stand-in for the pause's own prompt (platform/platform_posix.cpp).
#pragma once

#include <string>
#include <string_view>

#include "console/run_log.h"

// Every message of every level, shown or not, in call order. Never cleared.
RunLog& runLog();

// Empties the run log (for tests).
void resetRunLog();

void emitMessage(std::string text, std::string type, bool show);

// Always shown.
void printMessage(std::string text, std::string type);
// Shown when VERBOSEFLAG is set.
void printVerbose(std::string text, std::string type);
// Shown when SUPERVERBOSEFLAG is set.
void printSuperVerbose(std::string text, std::string type);
// Shown when SUPERVERBOSEFLAG is set, in the colour set last, and logged as part of the last
// message: for a command's output echoed piece by piece, where a message per piece would cost
// the log more memory than the text itself.
void appendSuperVerbose(std::string_view text);
