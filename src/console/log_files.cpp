#include "console/log_files.h"

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"

namespace {

void writeRunLog(const std::string& announcement, const std::string& fileName) {
  printMessage(announcement + fileName + "\n", "default");
  std::vector<std::string> copy = runLog();
  writeLinesToFile(fileName, copy);
}

}  // namespace

void printErrorLog() { writeRunLog("Printing error log file to ", errorLogFileName); }

void printRunLog() { writeRunLog("Printing log file to ", runLogFileName); }

void writeLinesToFile(const std::string& fileName, const std::vector<std::string>& texts,
                      platform::FileMode mode) {
  platform::OutputFile file(fileName, mode, platform::WriteMethod::inPlace);
  if (!file.isOpen()) raiseError("2003s", {fileName});
  printVerbose("Printing to file " + fileName + "\n\n", "default");
  for (const std::string& text : texts) {
    if (!file.write(text)) break;
  }
  // A full disk must not pass for a written log.
  if (!file.commit()) raiseError("2003s", {fileName});
}
