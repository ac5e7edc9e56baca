#include "console/log_files.h"

#include <algorithm>
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

// The bytes a text-mode file receives for `bytes`: each line feed after a carriage return.
std::string asWritten(std::string_view bytes, platform::FileMode mode) {
  std::string written;
  written.reserve(bytes.size());
  for (char c : bytes) {
    if (c == '\n' && mode == platform::FileMode::text) written += '\r';
    written += c;
  }
  return written;
}

// Counts what the file receives and, unless it can be had again from the run log, keeps its
// last writtenLogTailLimit bytes, at most twice that in between, so that trimming costs little.
// Only the end of a large write can reach the tail, and only that end is ever copied: a report
// as large as the query cap must not cost its size again.
void keepTail(WrittenLog& log, std::string_view bytes, platform::FileMode mode) {
  bool text = mode == platform::FileMode::text;
  log.size += bytes.size() + (text ? std::count(bytes.begin(), bytes.end(), '\n') : 0);
  if (log.fromRunLog) return;
  if (bytes.size() >= writtenLogTailLimit) {
    log.tail.clear();
    bytes.remove_prefix(bytes.size() - writtenLogTailLimit);
  }
  for (char c : bytes) {
    if (c == '\n' && text) log.tail += '\r';
    log.tail += c;
  }
  if (log.tail.size() > 2 * writtenLogTailLimit) {
    log.tail.erase(0, log.tail.size() - writtenLogTailLimit);
  }
}

// Creates or truncates the file and lets `writeBody` fill it; raises "2003s" with the name
// when the file cannot be opened or written. What it wrote is kept for the run record.
void writeFile(const std::string& fileName, platform::FileMode mode,
               const std::function<bool(const Write&)>& writeBody, WrittenLog log = {}) {
  platform::OutputFile file(fileName, mode, platform::WriteMethod::inPlace);
  if (!file.isOpen()) raiseError("2003s", {fileName});
  printVerbose("Printing to file " + fileName + "\n\n", "default");
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
// needs, and for the same reason the record takes its copy from the log again.
void writeRunLog(const std::string& announcement, const std::string& fileName) {
  printMessage(announcement + fileName + "\n", "default");
  const std::size_t bytes = runLog().size();
  WrittenLog log;
  log.fromRunLog = true;
  log.runLogBytes = bytes;
  writeFile(
      fileName, platform::FileMode::text,
      [bytes](const Write& write) { return runLog().forEachPart(bytes, write); }, log);
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

std::optional<std::uint64_t> writtenLogSize(const std::string& fileName) {
  auto found = writtenLogs().find(fileName);
  if (found == writtenLogs().end()) return std::nullopt;
  return found->second.size;
}

bool copyWrittenLog(const std::string& fileName, const Write& use) {
  auto found = writtenLogs().find(fileName);
  if (found == writtenLogs().end()) return true;
  const WrittenLog& log = found->second;
  if (!log.fromRunLog) return use(log.tail);
  std::uint64_t start = log.size > writtenLogTailLimit ? log.size - writtenLogTailLimit : 0;
  std::uint64_t at = 0;
  return runLog().forEachPart(log.runLogBytes, [&](std::string_view part) {
    std::string written = asWritten(part, platform::FileMode::text);
    std::uint64_t end = at + written.size();
    std::size_t skip = start > at ? static_cast<std::size_t>(std::min(start - at, end - at)) : 0;
    at = end;
    return skip == written.size() || use(std::string_view(written).substr(skip));
  });
}
