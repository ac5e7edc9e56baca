#include "app/error_catalogue.h"

ErrorCatalogue startErrorCatalogue() {
  return {
      {"1000h", "ERROR 1000h: POPEN failure."},
      {"1001h", "ERROR 1001h: Unable to read file #."},
      {"1002h", "ERROR 1002h: File # does not appear to exist in #."},
      {"1003h", "ERROR 1003h: Error message \"#\" needs # arguments, you passed #"},
      {"1004h", "ERROR 1004h: CreateProcess failed (#)"},
      {"1005h", "ERROR 1005h: You've already set #, you can only set it once."},
      // Present from the start, so that a failure of the start-up set-up itself is reported.
      {"1017h", "ERROR 1017h: Unexpected internal error: #"},
      {"2000s", "ERROR 2000s: Could not retrieve BIOS version."},
      {"2001s", "ERROR 2001s: Cannot find OS drive."},
      {"2002s", "ERROR 2002s: Process must be ran as an administrator."},
      {"2003s", "ERROR 2003s: Cannot write to file #."},
  };
}

ErrorCatalogue runTimeErrorCodes() {
  return {
      {"1010h",
       "ERROR 1010h: # does not exist in the platform decoder. Double check the supported "
       "platforms in the input file."},
      {"1011h",
       "ERROR 1011h: input.txt must have an meFirmwareFile field first before other parameters "
       "can be added"},
      {"1012h", "ERROR 1012h: An input profile must have supported platforms"},
      {"1013h",
       "ERROR 1013h: meFirmwareFile field in input.txt does not contain a valid ME firmware "
       "version number."},
      {"1014h", "ERROR 1014h: Invalid command line arguments. Use -h for help."},
      {"1015h", "ERROR 1015h: Unknown error retrieving ME firmware version."},
      {"1016h",
       "ERROR 1016h: Input profile supported platform conflict.\nInput profile #'s supported "
       "platform #'s BIOS branch #\nAlready exists in input profile #, supported platform #, "
       "BIOS branch #"},
      {"1018h",
       "ERROR 1018h: Version # is malformed: its field # is missing, not a number or out of "
       "range."},
      {"1019h",
       "ERROR 1019h: Version # cannot be written to the version stamp: it needs four fields from "
       "0 to 65535 in 7 to 23 printable characters."},
      {"2010s", "ERROR 2010s: This platform is not supported by the Kitbox."},
      {"2011s", "ERROR 2011s: System bios version # does not meet prerequisite version #."},
      {"2012s",
       "ERROR 2012s: Cannot confirm the BIOS prerequisite: \"#\" holds no usable version "
       "number."},
      {"2013s",
       "ERROR 2013s: The firmware update tool ended without reporting a completed update."},
      {"2014s", "ERROR 2014s: The firmware was updated, but its version stamp was not written: #"},
      {"2015s",
       "ERROR 2015s: Another firmware update is running on this computer. Run the installer "
       "again when it has finished."},
      {"2016s",
       "ERROR 2016s: The computer is running on battery with #% charge. Connect it to mains "
       "power and run the update again."},
      {"2017s",
       "ERROR 2017s: The Kitbox is run from the network path #. Copy it to a local folder and "
       "run the installer there."},
      {"2018s",
       "ERROR 2018s: The tool # is not signed by Intel Corporation (#). The Kitbox may have been "
       "altered: get it again from Norvane."},
      {"2019s", "ERROR 2019s: The one-instance guard # cannot be set up: #."},
      {"2020s",
       "ERROR 2020s: The Kitbox file # could not be copied to the installer's private folder: #."},
      {"3000n",
       "CODE  3000n: The system's firmware # is newer than the kitbox #, cannot downgrade."},
      {"3001n",
       "CODE  3001n: Your system already has firmware # installed. If you would like to update "
       "over the same version, run this again with the -force argument."},
      {"3002n",
       "CODE  3002n: The firmware was already installed and requires a reboot. PLEASE REBOOT "
       "YOUR SYSTEM."},
  };
}

ErrorCatalogue& errorCatalogue() {
  static ErrorCatalogue catalogue = startErrorCatalogue();
  return catalogue;
}

void resetErrorCatalogue() {
  errorCatalogue() = startErrorCatalogue();
  ErrorCatalogue runTime = runTimeErrorCodes();
  errorCatalogue().insert(runTime.begin(), runTime.end());
}

namespace {

std::string fillPlaceholders(const std::string& pattern, const std::vector<std::string>& values) {
  std::string result;
  std::size_t next = 0;
  for (char c : pattern) {
    if (c == '#') {
      result += values[next++];
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

std::string formatError(const std::string& code, const std::vector<std::string>& arguments) {
  const ErrorCatalogue& catalogue = errorCatalogue();
  auto entry = catalogue.find(code);
  if (entry == catalogue.end()) {
    return formatError("1017h", {"no message for error code " + code});
  }
  const std::string& pattern = entry->second;
  std::size_t placeholders = 0;
  for (char c : pattern) {
    placeholders += c == '#' ? 1 : 0;
  }
  if (placeholders != arguments.size()) {
    raiseError("1003h", {pattern, std::to_string(placeholders), std::to_string(arguments.size())});
  }
  return fillPlaceholders(pattern, arguments);
}

void raiseError(const std::string& code, const std::vector<std::string>& arguments) {
  throw formatError(code, arguments);
}
