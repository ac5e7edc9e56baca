#include "mefwkit/kit_command_line.h"

#include <vector>

const char* const kitUsageText =
    "Usage:\n"
    "  mefwkit check [KITBOX] [--json]\n"
    "  mefwkit plan [KITBOX] --bios \"<BIOS version text>\" --me <installed version> [--force]"
    " [--json]\n"
    "  mefwkit plan [KITBOX] --machines <FILE.csv|FOLDER> [--force] [--json] [--expect CODES]\n"
    "  mefwkit --help\n"
    "\n"
    "check  reads the Kitbox (default: the working folder) as the installer would and lists\n"
    "       every problem found. Exit status 0: none; 1: warnings only; 2: errors.\n"
    "plan   tells what a silent run (mefwupdate.exe -s) would do on a machine with that BIOS\n"
    "       version and installed ME firmware, without running anything. Exit status 0.\n"
    "       With --machines, for every machine of a CSV file (columns name,bios,me) or of a\n"
    "       folder of collected run records (result.json, last-run.json), with a count per\n"
    "       exit code. --expect 0,3001: exit status 1 when any machine would end otherwise.\n"
    "--json writes one JSON object instead of lines. Bad arguments: exit status 64.\n";

namespace {

// An option that takes the next argument as its value.
std::string takeValue(const std::vector<std::string>& words, std::size_t& i, std::string& value) {
  if (i + 1 >= words.size()) return words[i] + " needs a value";
  value = words[++i];
  return "";
}

std::string takeWord(const std::vector<std::string>& words, std::size_t& i,
                     KitArguments& arguments) {
  const std::string& word = words[i];
  bool plan = arguments.command == "plan";
  if (word == "--json") {
    arguments.json = true;
  } else if (plan && word == "--force") {
    arguments.force = true;
  } else if (plan && word == "--bios") {
    return takeValue(words, i, arguments.biosText);
  } else if (plan && word == "--me") {
    return takeValue(words, i, arguments.installedVersion);
  } else if (plan && word == "--machines") {
    return takeValue(words, i, arguments.machines);
  } else if (plan && word == "--expect") {
    return takeValue(words, i, arguments.expect);
  } else if (!word.empty() && word[0] == '-') {
    return "unknown option " + word + " for " + arguments.command;
  } else if (arguments.kitbox.empty() && !word.empty()) {
    arguments.kitbox = word;
  } else {
    return "one Kitbox folder only, not also " + word;
  }
  return "";
}

std::string checkPlanValues(const KitArguments& arguments) {
  if (arguments.command != "plan") return "";
  bool oneMachine = !arguments.biosText.empty() || !arguments.installedVersion.empty();
  if (!arguments.machines.empty()) {
    return oneMachine ? "plan takes --machines or --bios and --me, not both" : "";
  }
  if (!arguments.expect.empty()) return "--expect needs --machines";
  if (arguments.biosText.empty()) return "plan needs --bios \"<BIOS version text>\"";
  if (arguments.installedVersion.empty()) return "plan needs --me <installed version>";
  return "";
}

}  // namespace

std::string parseKitArguments(int argc, char** argv, KitArguments& arguments) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  if (words.empty()) return "a command is needed: check or plan (see mefwkit --help)";
  arguments.command = words[0];
  if (words[0] == "--help" || words[0] == "-h") {
    arguments.command = "help";
    return "";
  }
  if (words[0] != "check" && words[0] != "plan") return "unknown command " + words[0];
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string complaint = takeWord(words, i, arguments);
    if (!complaint.empty()) return complaint;
  }
  return checkPlanValues(arguments);
}
