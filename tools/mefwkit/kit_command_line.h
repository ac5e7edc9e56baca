#pragma once

#include <optional>
#include <string>

// What the kit tool was asked to do.
struct KitArguments {
  // "check", "plan", "help" (the topic is then "", "check" or "plan") or "version".
  std::string command;
  std::string helpTopic;
  std::string kitbox;  // empty: the working folder
  std::string biosText;
  std::string meText;
  bool biosGiven = false;
  bool meGiven = false;
  bool force = false;
  bool json = false;
  // A fleet to plan instead of one machine: a CSV file or a folder of run records.
  std::string machines;
  // The exit codes a fleet may end with, as given ("0,3001"); empty: any.
  std::string expect;
  // How many machines the gate admits that are unreadable or need the installed version, as
  // given; empty: none.
  std::string allowUnreadable;
  // -allowunsigned for the planned runs.
  bool allowUnsigned = false;
  bool noSignatureCheck = false;
};

// Fills the arguments from the command line; returns the one-line complaint about bad
// arguments, or an empty text when they are good.
std::string parseKitArguments(int argc, char** argv, KitArguments& arguments);

// The help text for "" (the whole tool), "check" or "plan".
std::string kitHelpText(const std::string& topic);

// The number --allow-unreadable gives; nothing when the text is not one.
std::optional<int> parseAllowedCount(const std::string& text);

// The exit statuses of the kit tool itself, as its help and the README list them.
constexpr int kitGateFailedStatus = 1;
constexpr int kitNeedsInstalledVersionStatus = 3;
constexpr int kitUsageErrorStatus = 64;
constexpr int kitInternalErrorStatus = 70;
