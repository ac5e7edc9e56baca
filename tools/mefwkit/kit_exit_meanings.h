// What each exit code of the installer means, in one short line, as the exit-code reference of
// the docs gives it: the fleet plan shows it beside each count.
#pragma once

#include <string>

// The meaning of an exit code; "see the exit-code reference" for a code this table lacks.
std::string exitCodeMeaning(int exitCode);

// True when the table has a line for the code.
bool hasExitCodeMeaning(int exitCode);
