#pragma once

// The simulated programs keep their files (scenarios, the call log, the files a scenario reads or
// touches) in the folder MEFW_SIM_FOLDER names, which the tests set to the Kitbox; without it,
// in the working folder. The installer starts Intel's tools in its stage and Windows' own in
// the system folder, so the working folder is not where a test can look.
//
// Appends "tool arg1 arg2 ...\n" to sim-calls.log, so a test can see exactly which commands the
// installer ran, in order. Line ends inside an argument are written as \r and \n, so each call
// stays one line. Before that, appends "tool<TAB>program path<TAB>working folder\n" to
// sim-places.log, then makes the simulation folder the working folder.
void recordCall(const char* tool, int argc, char** argv);
