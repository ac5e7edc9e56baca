#pragma once

#include <string>

// What the kit tool was asked to do.
struct KitArguments {
  std::string command;  // "check", "plan" or "help"
  std::string kitbox;   // empty: the working folder
  std::string biosText;
  std::string installedVersion;
  bool force = false;
  bool json = false;
  // A fleet to plan instead of one machine: a CSV file or a folder of run records.
  std::string machines;
  // The exit codes a fleet may end with, as given ("0,3001"); empty: any.
  std::string expect;
};

// Fills the arguments from the command line; returns the one-line complaint about bad
// arguments, or an empty text when they are good.
std::string parseKitArguments(int argc, char** argv, KitArguments& arguments);

extern const char* const kitUsageText;
