#include "settings/run_settings.h"

#include "app/error_catalogue.h"

RunSettings& runSettings() {
  static RunSettings settings;
  return settings;
}

void resetRunSettings() { runSettings() = RunSettings{}; }

namespace {

template <typename T>
void setOnce(SetOnce<T>& setting, const char* key, T value) {
  if (setting.isSet) raiseError("1005h", {key});
  setting.value = std::move(value);
  setting.isSet = true;
}

}  // namespace

void setVerboseFlag() { setOnce(runSettings().verbose, "VERBOSEFLAG", true); }

void setSuperVerboseFlag() {
  if (runSettings().superVerbose.isSet) raiseError("1005h", {"SUPERVERBOSEFLAG"});
  setVerboseFlag();
  setOnce(runSettings().superVerbose, "SUPERVERBOSEFLAG", true);
}

void setSameVersionFlag() { setOnce(runSettings().sameVersion, "SAMEVERSIONFLAG", true); }
void setHelpFlag() { setOnce(runSettings().help, "HELPFLAG", true); }
void setHelpText(std::string text) { setOnce(runSettings().helpText, "HELPTEXT", text); }

void setSuperSecretHelpFlag() {
  setOnce(runSettings().superSecretHelp, "SUPERSECRETHELPFLAG", true);
}

void setSuperSecretHelpText(std::string text) {
  setOnce(runSettings().superSecretHelpText, "SUPERSECRETHELPTEXT", text);
}

void setLogFlag() { setOnce(runSettings().log, "LOGFLAG", true); }

void setErrorCodes(const std::map<std::string, std::string>& table) {
  if (runSettings().errorCodesSet) raiseError("1005h", {"ERRORCODES"});
  errorCatalogue().insert(table.begin(), table.end());
  runSettings().errorCodesSet = true;
}

void setRebootFlag() { setOnce(runSettings().reboot, "REBOOTFLAG", true); }
void setSilentFlag() { setOnce(runSettings().silent, "SILENTFLAG", true); }
void setAllowUnsignedFlag() { setOnce(runSettings().allowUnsigned, "allowUnsigned", true); }
void setScanFlag() { setOnce(runSettings().scan, "scan", true); }

bool verboseFlag() { return runSettings().verbose.value; }
bool superVerboseFlag() { return runSettings().superVerbose.value; }
bool sameVersionFlag() { return runSettings().sameVersion.value; }
bool helpFlag() { return runSettings().help.value; }
std::string helpText() { return runSettings().helpText.value; }
bool superSecretHelpFlag() { return runSettings().superSecretHelp.value; }
std::string superSecretHelpText() { return runSettings().superSecretHelpText.value; }
bool logFlag() { return runSettings().log.value; }
bool rebootFlag() { return runSettings().reboot.value; }
bool silentFlag() { return runSettings().silent.value; }
bool allowUnsignedFlag() { return runSettings().allowUnsigned.value; }
bool scanFlag() { return runSettings().scan.value; }
