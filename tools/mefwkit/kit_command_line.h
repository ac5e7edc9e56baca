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
};

// Fills the arguments from the command line; returns the one-line complaint about bad
// arguments, or an empty text when they are good.
std::string parseKitArguments(int argc, char** argv, KitArguments& arguments);

extern const char* const kitUsageText;
