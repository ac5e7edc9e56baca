#include "mefwkit/kit_exit_meanings.h"

#include <map>

namespace {

const std::map<int, const char*>& meanings() {
  static const std::map<int, const char*> table = {
      {0, "the firmware is flashed; a restart makes it effective"},
      {1, "a help screen or diagnostic mode ran: the command line is wrong"},
      {100, "the user declined (only an interactive run asks)"},
      {1000, "a command could not be started"},
      {1001, "a file of the Kitbox could not be read"},
      {1002, "a file of the Kitbox is missing"},
      {1003, "a message was asked for with the wrong details"},
      {1004, "reserved, never returned"},
      {1005, "an option was given twice"},
      {1010, "input.txt names a platform the installer does not know"},
      {1011, "input.txt has a field before its first meFirmwareFile line, or none"},
      {1012, "a profile in input.txt has no platforms"},
      {1013, "a firmware file name in input.txt holds no four-part version"},
      {1014, "invalid command line arguments"},
      {1015, "the installed firmware version could not be read"},
      {1016, "two profiles in input.txt claim the same BIOS family"},
      {1017, "unexpected internal error"},
      {1018, "a firmware version (the Kitbox's or the machine's) is malformed"},
      {1019, "a version that MeFwVer.sys cannot carry; nothing was written"},
      {2000, "the BIOS version could not be read"},
      {2001, "the system drive is unknown"},
      {2002, "reserved, never returned"},
      {2003, "a file could not be written (MeFwVer.sys, a log)"},
      {2010, "no profile of the Kitbox is meant for this platform"},
      {2011, "the BIOS is older than the profile requires: update the BIOS first"},
      {2012, "the BIOS prerequisite cannot be confirmed (no number to compare)"},
      {2013, "Intel's update tool ended without reporting a completed update"},
      {2014, "flashed, but MeFwVer.sys was not written with the new version"},
      {2015, "another update is running; try again later"},
      {2016, "on battery below 25 %; try again later"},
      {2017, "run from a network path; run it from a local copy"},
      {2018, "Intel's tool, or a file beside it, is not signed as it must be; it is not run"},
      {2019, "the one-instance guard cannot be set up"},
      {2020, "a tool folder or the image could not be copied privately (a link, too large)"},
      {3000, "the installed firmware is newer: nothing to do (no downgrade)"},
      {3001, "the Kitbox's firmware is already installed: nothing to do"},
      {3002, "the firmware was installed before and waits for a restart"},
      {4000, "Intel's tool reported an error reading the installed version"},
      {4001, "Intel's tool reported an error during the update"},
  };
  return table;
}

}  // namespace

std::string exitCodeMeaning(int exitCode) {
  auto found = meanings().find(exitCode);
  return found == meanings().end() ? "see the exit-code reference" : found->second;
}

bool hasExitCodeMeaning(int exitCode) { return meanings().count(exitCode) > 0; }
