#include "settings/help.h"

#include "console/messages.h"
#include "settings/run_settings.h"

const char* const plainHelpText =
    "\t [-s|silent] [-?|h|help] [-r|restart|reboot] [-force]\n\n"
    "-s|-silent \t\tUpdates the firmware without user input\n"
    "-?|h|help \t\tDisplay help screen\n"
    "-r|restart|reboot \tWill restart the computer after update is successful\n"
    "-force \t\t\tForces the install over the same version of ME, allowsv\n\n";

const char* const secretHelpText =
    "\t [-s|silent] [-?|h|help] [-superSecretHelp] [-force]\n"
    "\t\t[-verbose] [-meInfo] [-log] [-r|restart|reboot] [-systemInfo]\n\n"
    "-s|-silent \t\tUpdates the firmware without user input\n"
    "-?|h|help \t\tDisplay help screen\n"
    "-superSecretHelp \tDisplays this super secret help screen\n"
    "-force \t\t\tForces the install over the same version of ME, allowsv\n"
    "-verbose \t\tPrints to the screen debug information\n"
    "-meInfo \t\tPrints meinfo -verbose information to meInfoVerbose.txt\n"
    "-log \t\t\tPrints debug information to runLog.log\n"
    "-r|restart|reboot \tWill restart the computer after update is successful\n"
    "-systemInfo \tDisplays relevant extended system versions.\n"
    "--IT'S A SECRET TO EVERYBODY--\n\n";

namespace {

// Only a backslash separates folders here: the program is named the Windows way.
std::string programFileName(const std::string& programPath) {
  std::size_t slash = programPath.rfind('\\');
  return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

}  // namespace

void printHelp(const std::string& programPath) {
  printMessage(programFileName(programPath) + helpText(), "default");
}

void printSuperSecretHelp(const std::string& programPath) {
  printMessage(programFileName(programPath) + superSecretHelpText(), "default");
}
