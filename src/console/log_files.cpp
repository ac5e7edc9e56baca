#include "console/log_files.h"

#include <functional>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"

namespace {

std::vector<std::string>& filesWritten() {
  static std::vector<std::string> names;
  return names;
}

void noteFileWritten(const std::string& fileName) {
  for (const std::string& name : filesWritten()) {
    if (name == fileName) return;
  }
  filesWritten().push_back(fileName);
}

// Creates or truncates the file and lets `writeBody` fill it; raises "2003s" with the name
// when the file cannot be opened or written.
void writeFile(const std::string& fileName, platform::FileMode mode,
               const std::function<bool(platform::OutputFile&)>& writeBody) {
  platform::OutputFile file(fileName, mode, platform::WriteMethod::inPlace);
  if (!file.isOpen()) raiseError("2003s", {fileName});
  printVerbose("Printing to file " + fileName + "\n\n", "default");
  const bool written = writeBody(file);
  // A full disk must not pass for a written log.
  if (!file.commit() || !written) raiseError("2003s", {fileName});
  noteFileWritten(fileName);
}

// The file holds the log as it stands after the announcement; the messages about writing it
// come later. It is written from the log itself: a copy would double the memory a long run
// needs.
void writeRunLog(const std::string& announcement, const std::string& fileName) {
  printMessage(announcement + fileName + "\n", "default");
  const std::size_t bytes = runLog().size();
  writeFile(fileName, platform::FileMode::text,
            [bytes](platform::OutputFile& file) { return runLog().writeTo(file, bytes); });
}

}  // namespace

void printErrorLog() { writeRunLog("Printing error log file to ", errorLogFileName); }

void printRunLog() { writeRunLog("Printing log file to ", runLogFileName); }

void writeLinesToFile(const std::string& fileName, const std::vector<std::string>& texts,
                      platform::FileMode mode) {
  writeFile(fileName, mode, [&texts](platform::OutputFile& file) {
    for (const std::string& text : texts) {
      if (!file.write(text)) return false;
    }
    return true;
  });
}

std::vector<std::string> logFilesWritten() { return filesWritten(); }

void resetLogFilesWritten() { filesWritten().clear(); }
