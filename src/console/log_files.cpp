#include "console/log_files.h"

#include <functional>
#include <map>
#include <string_view>
#include <utility>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"

namespace {

using Write = std::function<bool(std::string_view)>;

std::vector<std::string>& filesWritten() {
  static std::vector<std::string> names;
  return names;
}

std::map<std::string, WrittenLog>& writtenLogs() {
  static std::map<std::string, WrittenLog> logs;
  return logs;
}

void noteFileWritten(const std::string& fileName, WrittenLog log) {
  writtenLogs()[fileName] = std::move(log);
  for (const std::string& name : filesWritten()) {
    if (name == fileName) return;
  }
  filesWritten().push_back(fileName);
}

// Keeps the last writtenLogTailLimit bytes as the file receives them, at most twice that in
// between, so that the trimming costs little.
void keepTail(WrittenLog& log, std::string_view bytes, platform::FileMode mode) {
  for (char c : bytes) {
    if (c == '\n' && mode == platform::FileMode::text) {
      log.tail += '\r';
      ++log.size;
    }
    log.tail += c;
    ++log.size;
  }
  if (log.tail.size() > 2 * writtenLogTailLimit) {
    log.tail.erase(0, log.tail.size() - writtenLogTailLimit);
  }
}

// Creates or truncates the file and lets `writeBody` fill it; raises "2003s" with the name
// when the file cannot be opened or written. What it wrote is kept for the run record.
void writeFile(const std::string& fileName, platform::FileMode mode,
               const std::function<bool(const Write&)>& writeBody) {
  platform::OutputFile file(fileName, mode, platform::WriteMethod::inPlace);
  if (!file.isOpen()) raiseError("2003s", {fileName});
  printVerbose("Printing to file " + fileName + "\n\n", "default");
  WrittenLog log;
  const bool written = writeBody([&](std::string_view bytes) {
    keepTail(log, bytes, mode);
    return file.write(bytes);
  });
  // A full disk must not pass for a written log.
  if (!file.commit() || !written) raiseError("2003s", {fileName});
  if (log.tail.size() > writtenLogTailLimit) {
    log.tail.erase(0, log.tail.size() - writtenLogTailLimit);
  }
  noteFileWritten(fileName, std::move(log));
}

// The file holds the log as it stands after the announcement; the messages about writing it
// come later. It is written from the log itself: a copy would double the memory a long run
// needs.
void writeRunLog(const std::string& announcement, const std::string& fileName) {
  printMessage(announcement + fileName + "\n", "default");
  const std::size_t bytes = runLog().size();
  writeFile(fileName, platform::FileMode::text,
            [bytes](const Write& write) { return runLog().forEachPart(bytes, write); });
}

}  // namespace

void printErrorLog() { writeRunLog("Printing error log file to ", errorLogFileName); }

void printRunLog() { writeRunLog("Printing log file to ", runLogFileName); }

void writeLinesToFile(const std::string& fileName, const std::vector<std::string>& texts,
                      platform::FileMode mode) {
  writeFile(fileName, mode, [&texts](const Write& write) {
    for (const std::string& text : texts) {
      if (!write(text)) return false;
    }
    return true;
  });
}

std::vector<std::string> logFilesWritten() { return filesWritten(); }

void resetLogFilesWritten() {
  filesWritten().clear();
  writtenLogs().clear();
}

std::optional<WrittenLog> writtenLog(const std::string& fileName) {
  auto found = writtenLogs().find(fileName);
  if (found == writtenLogs().end()) return std::nullopt;
  return found->second;
}
