// The settings of one run. Each can be set once: a second set raises "1005h" naming the
// setting's key and changes nothing. The program never clears a setting; only the tests start
// over, through resetRunSettings.
#pragma once

#include <map>
#include <string>

template <typename T>
struct SetOnce {
  T value{};
  bool isSet = false;
};

struct RunSettings {
  SetOnce<bool> verbose;
  SetOnce<bool> superVerbose;
  SetOnce<bool> sameVersion;
  SetOnce<bool> help;
  SetOnce<std::string> helpText;
  SetOnce<bool> superSecretHelp;
  SetOnce<std::string> superSecretHelpText;
  SetOnce<bool> log;
  bool errorCodesSet = false;
  SetOnce<bool> reboot;
  SetOnce<bool> silent;
  // A lab option: Intel's tools may run without any signature (never with a broken or foreign
  // one).
  SetOnce<bool> allowUnsigned;
  // The update's own checks, up to the flash, with nothing changed on the machine.
  SetOnce<bool> scan;
  // Mode flags: plain booleans that may be switched on any number of times.
  bool meInfoMode = false;
  bool systemInfoMode = false;
};

// The process-wide settings.
RunSettings& runSettings();

// Puts every setting back to unset (for tests).
void resetRunSettings();

void setVerboseFlag();
// Also sets VERBOSEFLAG, so super-verbose output always comes with verbose output.
void setSuperVerboseFlag();
void setSameVersionFlag();
void setHelpFlag();
void setHelpText(std::string text);
void setSuperSecretHelpFlag();
void setSuperSecretHelpText(std::string text);
void setLogFlag();
// Merges code/template pairs into the error catalogue; the table itself is not kept.
void setErrorCodes(const std::map<std::string, std::string>& table);
void setRebootFlag();
void setSilentFlag();
void setAllowUnsignedFlag();
void setScanFlag();

bool verboseFlag();
bool superVerboseFlag();
bool sameVersionFlag();
bool helpFlag();
std::string helpText();
bool superSecretHelpFlag();
std::string superSecretHelpText();
bool logFlag();
bool rebootFlag();
bool silentFlag();
bool allowUnsignedFlag();
bool scanFlag();
