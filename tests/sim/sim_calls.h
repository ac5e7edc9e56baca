#pragma once

// Appends "tool arg1 arg2 ...\n" to sim-calls.log in the working folder, so a test can see
// exactly which commands the installer ran, in order. Line ends inside an argument are written
// as \r and \n, so each call stays one line.
void recordCall(const char* tool, int argc, char** argv);
