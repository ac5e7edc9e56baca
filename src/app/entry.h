#pragma once

// The installer's whole run: start-up, banner, command line, one run mode, reporting of any
// failure, end of run. Returns the exit code; never lets an exception escape.
int runInstaller(int argc, char** argv);
