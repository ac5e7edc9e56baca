#pragma once

#include <string>

// The texts the start-up set-up stores in HELPTEXT and SUPERSECRETHELPTEXT.
extern const char* const plainHelpText;
extern const char* const secretHelpText;

// Print the program's file name (the path after its last backslash) followed directly by
// the help text; the texts begin with a tab so they read as the continuation of that name.
void printHelp(const std::string& programPath);
void printSuperSecretHelp(const std::string& programPath);
