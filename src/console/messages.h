// Every line the installer shows goes through here: the text is recorded in the run log,
// the console colour of its type is set, and the text is shown if its print level is on.
// The text is written unchanged; callers bring their own line ends.
#pragma once

#include <string>

#include "console/run_log.h"

// Every message of every level, shown or not, in call order. Never cleared.
RunLog& runLog();

void emitMessage(std::string text, std::string type, bool show);

// Always shown.
void printMessage(std::string text, std::string type);
// Shown when VERBOSEFLAG is set.
void printVerbose(std::string text, std::string type);
// Shown when SUPERVERBOSEFLAG is set.
void printSuperVerbose(std::string text, std::string type);
