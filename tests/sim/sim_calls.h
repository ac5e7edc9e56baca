#pragma once

// Appends "tool arg1 arg2 ...\n" to sim-calls.log in the working folder, so a test can see
// exactly which commands the installer ran, in order.
void recordCall(const char* tool, int argc, char** argv);
