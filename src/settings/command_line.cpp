#include "settings/command_line.h"

#include <string>
#include <vector>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "settings/text_case.h"

namespace {

struct Option {
  std::vector<std::string> arguments;
  void (*effect)();
};

const std::vector<Option>& optionTable() {
  static const std::vector<Option> table = {
      {{"-s", "-silent"}, setSilentFlag},
      {{"-v", "-verbose"}, setVerboseFlag},
      {{"-sv", "-superverbose"}, setSuperVerboseFlag},
      {{"-force"}, setSameVersionFlag},
      {{"-log"}, setLogFlag},
      {{"-meinfo"}, [] { runSettings().meInfoMode = true; }},
      {{"-h", "-help", "-?"}, setHelpFlag},
      {{"-supersecrethelp"}, setSuperSecretHelpFlag},
      {{"-r", "-restart", "-reboot"}, setRebootFlag},
      {{"-systeminfo"}, [] { runSettings().systemInfoMode = true; }},
      {{"-allowunsigned"}, setAllowUnsignedFlag},
      {{"-scan"}, setScanFlag},
  };
  return table;
}

struct EchoWord {
  bool (*isSet)();
  const char* word;
};

// The echo lists the options in this fixed order, not in the order they were given.
const EchoWord echoTable[] = {
    {silentFlag, " silent"},
    {verboseFlag, " verbose"},
    {superVerboseFlag, " superverbose"},
    {sameVersionFlag, " force"},
    {logFlag, " log"},
    {[] { return runSettings().meInfoMode; }, " meInfo"},
    {helpFlag, " help"},
    {superSecretHelpFlag, " superSecretHelp"},
    {rebootFlag, " reboot"},
    {[] { return runSettings().systemInfoMode; }, " systemInfo"},
    {allowUnsignedFlag, " allowUnsigned"},
    {scanFlag, " scan"},
};

void applyOption(const std::string& argument) {
  std::string lowered = toLower(argument);
  for (const Option& option : optionTable()) {
    for (const std::string& accepted : option.arguments) {
      if (lowered == accepted) {
        option.effect();
        return;
      }
    }
  }
  raiseError("1014h");
}

}  // namespace

void parseCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    applyOption(argv[i] == nullptr ? "" : argv[i]);
  }
  printVerbose("Command line arguments:", "default");
  for (const EchoWord& echo : echoTable) {
    if (echo.isSet()) printVerbose(echo.word, "default");
  }
  printVerbose("\n\n", "default");
}
