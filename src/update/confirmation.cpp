#include "update/confirmation.h"

#include "console/messages.h"
#include "platform/platform.h"
#include "settings/text_case.h"
#include "system/command_runner.h"

void showUpfrontMessage(InputProfile profile) {
  printVerbose("Upfront message:\n", "default");
  const std::string& message = profile.getUpfrontMessage();
  if (message.empty()) {
    printVerbose("No upfront message\n\n", "default");
    return;
  }
  printMessage(message + "\n", "warning");
  pauseSeconds(5);
  printMessage("\n", "default");
}

bool askUserToUpdate() {
  printVerbose("USER INPUT: \n", "default");
  std::string answer;
  while (answer != "y" && answer != "n") {
    printMessage("Do you want to update the Management Engine firmware now [Y/N]? ", "default");
    if (!platform::readInputWord(answer)) {
      // An unattended run without -s must not wait forever for an answer that cannot come.
      printVerbose("\nNo answer could be read; taking it as no.\n", "default");
      answer = "n";
      break;
    }
    answer = toLower(answer);
    if (answer != "y" && answer != "n") {
      platform::writeOutput("Invalid input.  Please input Y for yes or N for no.\n");
    }
  }
  platform::writeOutput("\n");
  printSuperVerbose(answer + "\n", "default");
  return answer == "y";
}
