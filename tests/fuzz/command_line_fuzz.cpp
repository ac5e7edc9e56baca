// Command-line arguments as a deployment script might pass them. Each must be one of the
// options in any letter case, each setting may be given once, and the settings made must be
// exactly those asked for.
#include <map>

#include "app/error_catalogue.h"
#include "fuzz_support.h"
#include "process_state.h"
#include "settings/command_line.h"
#include "settings/run_settings.h"
#include "settings/text_case.h"

namespace {

// Option words and the setting keys each one sets, in the order it sets them.
const std::map<std::string, std::vector<std::string>> optionKeys = {
    {"-s", {"SILENTFLAG"}},
    {"-silent", {"SILENTFLAG"}},
    {"-v", {"VERBOSEFLAG"}},
    {"-verbose", {"VERBOSEFLAG"}},
    {"-sv", {"SUPERVERBOSEFLAG", "VERBOSEFLAG"}},
    {"-superverbose", {"SUPERVERBOSEFLAG", "VERBOSEFLAG"}},
    {"-force", {"SAMEVERSIONFLAG"}},
    {"-log", {"LOGFLAG"}},
    {"-meinfo", {"meInfoMode"}},
    {"-h", {"HELPFLAG"}},
    {"-help", {"HELPFLAG"}},
    {"-?", {"HELPFLAG"}},
    {"-supersecrethelp", {"SUPERSECRETHELPFLAG"}},
    {"-r", {"REBOOTFLAG"}},
    {"-restart", {"REBOOTFLAG"}},
    {"-reboot", {"REBOOTFLAG"}},
    {"-systeminfo", {"systemInfoMode"}},
    {"-allowunsigned", {"allowUnsigned"}},
    {"-scan", {"scan"}},
};

bool isModeKey(const std::string& key) { return key == "meInfoMode" || key == "systemInfoMode"; }

// What the parse must raise ("" for nothing), and the keys set by then. An option checks all
// its keys, in order, before it sets any.
std::string expectedParse(const std::vector<std::string>& arguments,
                          std::map<std::string, bool>& set) {
  for (const std::string& argument : arguments) {
    auto option = optionKeys.find(toLower(argument));
    if (option == optionKeys.end()) return formatError("1014h");
    for (const std::string& key : option->second) {
      if (set[key] && !isModeKey(key)) return formatError("1005h", {key});
    }
    for (const std::string& key : option->second) {
      set[key] = true;
    }
  }
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

// The arguments are the input cut at NUL bytes; the program path comes first, as in main.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  std::vector<std::string> arguments;
  if (size > 0) arguments = splitAt(asText(data, size), '\0');
  std::vector<char*> argv = {const_cast<char*>("mefwupdate.exe")};
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  std::map<std::string, bool> expectedSet;
  const std::string expectedRaised = expectedParse(arguments, expectedSet);
  std::string raised;
  try {
    parseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"1005h", "1014h"}});
    raised = message;
  }
  fuzzCheck(raised == expectedRaised,
            "raised \"" + raised + "\" instead of \"" + expectedRaised + "\"");
  const RunSettings& settings = runSettings();
  const std::map<std::string, bool> actualSet = {
      {"SILENTFLAG", settings.silent.value},
      {"VERBOSEFLAG", settings.verbose.value},
      {"SUPERVERBOSEFLAG", settings.superVerbose.value},
      {"SAMEVERSIONFLAG", settings.sameVersion.value},
      {"LOGFLAG", settings.log.value},
      {"meInfoMode", settings.meInfoMode},
      {"HELPFLAG", settings.help.value},
      {"SUPERSECRETHELPFLAG", settings.superSecretHelp.value},
      {"REBOOTFLAG", settings.reboot.value},
      {"systemInfoMode", settings.systemInfoMode},
      {"allowUnsigned", settings.allowUnsigned.value},
      {"scan", settings.scan.value},
  };
  for (const auto& [key, value] : actualSet) {
    fuzzCheck(value == (expectedSet.count(key) > 0 && expectedSet.at(key)), key + " differs");
  }
  return 0;
}
