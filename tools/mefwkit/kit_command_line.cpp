#include "mefwkit/kit_command_line.h"

#include <vector>

#include "mefwkit/kit_plan.h"

namespace {

const char* const usageLines =
    "Usage:\n"
    "  mefwkit check [KITBOX] [--json]\n"
    "  mefwkit plan [KITBOX] --bios \"<BIOS version string>\" [--me <installed version>]"
    " [--force]\n"
    "               [--allowunsigned] [--no-signature-check] [--json]\n"
    "  mefwkit plan [KITBOX] --machines <FILE.csv|FOLDER> [--force] [--allowunsigned]\n"
    "               [--no-signature-check] [--json] [--expect CODES [--allow-unreadable N]]\n"
    "  mefwkit [check|plan] --help | -h\n"
    "  mefwkit --version\n";

const char* const checkHelp =
    "\n"
    "check  reads the Kitbox (default: the working folder) as the installer would and lists\n"
    "       every problem found, with its input.txt line.\n"
    "       Exit status 0: no problem or notes only; 1: warnings, no error; 2: any error.\n";

const char* const planHelp =
    "\n"
    "plan   tells what a silent run (mefwupdate.exe -s) would do on a machine, without running\n"
    "       anything. --bios is the BIOS Version string as the firmware holds it (what wmic\n"
    "       shows); --me is the installed version as FwUpdLcl64 prints it after \"FW Version:\"\n"
    "       (such as 11.8.50.3399). Both are read as the installer reads its tools. Without\n"
    "       --me the plan goes as far as the BIOS decides and says where the run needs the\n"
    "       installed version. Intel's tool must pass the installer's signature check;\n"
    "       --allowunsigned plans a lab run, --no-signature-check leaves the check out. The\n"
    "       plan also lists the codes the machine's state or Intel's tool may still end the run\n"
    "       with. Exit status 0 whatever the predicted outcome; 3: the run needs the installed\n"
    "       version (--me).\n"
    "       With --machines, for every machine of a CSV file (columns name,bios,me) or of a\n"
    "       folder of collected state folders or run records, grouped by exit code, with what\n"
    "       the machines' last runs said. --expect 0,3001: exit status 1 when any machine would\n"
    "       end otherwise, is unreadable or needs the installed version (--allow-unreadable N\n"
    "       admits N of those two), when no machine is planned, or when the signature was not\n"
    "       checked (POSIX builds; admitted with --no-signature-check).\n";

const char* const commonHelp =
    "\n"
    "--json     writes one JSON object instead of lines.\n"
    "--bios=... and the other options with a value may also be written with an equals sign.\n"
    "Exit status 64: bad arguments, a Kitbox folder or machines that cannot be opened; 70: a\n"
    "failure of mefwkit itself.\n";

bool isHelpWord(const std::string& word) { return word == "--help" || word == "-h"; }

// An option that takes a value, as "--name value" or "--name=value".
bool takeValue(const std::vector<std::string>& words, std::size_t& i, const std::string& name,
               std::string& value, std::string& complaint) {
  const std::string& word = words[i];
  if (word.compare(0, name.size() + 1, name + "=") == 0) {
    value = word.substr(name.size() + 1);
    return true;
  }
  if (word != name) return false;
  if (i + 1 >= words.size()) {
    complaint = name + " needs a value";
  } else {
    value = words[++i];
  }
  return true;
}

std::string takeWord(const std::vector<std::string>& words, std::size_t& i,
                     KitArguments& arguments) {
  const std::string& word = words[i];
  bool plan = arguments.command == "plan";
  std::string complaint;
  if (word == "--json") {
    arguments.json = true;
  } else if (plan && word == "--force") {
    arguments.force = true;
  } else if (plan && takeValue(words, i, "--bios", arguments.biosText, complaint)) {
    arguments.biosGiven = true;
  } else if (plan && takeValue(words, i, "--me", arguments.meText, complaint)) {
    arguments.meGiven = true;
  } else if (plan && takeValue(words, i, "--machines", arguments.machines, complaint)) {
  } else if (plan && takeValue(words, i, "--expect", arguments.expect, complaint)) {
  } else if (plan &&
             takeValue(words, i, "--allow-unreadable", arguments.allowUnreadable, complaint)) {
  } else if (plan && word == "--allowunsigned") {
    arguments.allowUnsigned = true;
  } else if (plan && word == "--no-signature-check") {
    arguments.noSignatureCheck = true;
  } else if (!word.empty() && word[0] == '-') {
    complaint = "unknown option " + word + " for " + arguments.command;
  } else if (arguments.kitbox.empty() && !word.empty()) {
    arguments.kitbox = word;
  } else {
    complaint = "one Kitbox folder only, not also " + word;
  }
  return complaint;
}

std::string checkPlanValues(const KitArguments& arguments) {
  if (arguments.command != "plan") return "";
  bool oneMachine = arguments.biosGiven || arguments.meGiven;
  if (!arguments.allowUnreadable.empty() && arguments.expect.empty()) {
    return "--allow-unreadable needs --expect";
  }
  if (!arguments.allowUnreadable.empty() && !parseAllowedCount(arguments.allowUnreadable)) {
    return "--allow-unreadable needs a number of machines, such as 3";
  }
  if (!arguments.machines.empty()) {
    return oneMachine ? "plan takes --machines or --bios and --me, not both" : "";
  }
  if (!arguments.expect.empty()) return "--expect needs --machines";
  if (!arguments.biosGiven || arguments.biosText.empty()) {
    return "plan needs --bios \"<BIOS version string>\"";
  }
  if (arguments.meGiven && !installedVersionFrom(arguments.meText)) {
    return "--me holds no firmware version: expected digits and dots as FwUpdLcl64 prints them "
           "after \"FW Version:\", such as 11.8.50.3399";
  }
  return "";
}

bool asksForHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (isHelpWord(word)) return true;
  }
  return false;
}

}  // namespace

std::string parseKitArguments(int argc, char** argv, KitArguments& arguments) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  if (words.empty()) return "a command is needed: check or plan (see mefwkit --help)";
  arguments.command = words[0];
  if (isHelpWord(words[0]) || words[0] == "--version") {
    arguments.command = words[0] == "--version" ? "version" : "help";
    return words.size() == 1 ? "" : "nothing may follow " + words[0];
  }
  if (words[0] != "check" && words[0] != "plan") return "unknown command " + words[0];
  if (asksForHelp(words)) {
    arguments.helpTopic = words[0];
    arguments.command = "help";
    return "";
  }
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string complaint = takeWord(words, i, arguments);
    if (!complaint.empty()) return complaint;
  }
  return checkPlanValues(arguments);
}

std::optional<int> parseAllowedCount(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(text);
}

std::string kitHelpText(const std::string& topic) {
  std::string text = usageLines;
  if (topic != "plan") text += checkHelp;
  if (topic != "check") text += planHelp;
  return text + commonHelp;
}
