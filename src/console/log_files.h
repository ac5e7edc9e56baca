#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// Write the run log, as it stands after the announcement line, to installerError.log or
// runLog.log in the working folder. Raise "2003s" when the file cannot be written.
void printErrorLog();
void printRunLog();

// Creates or truncates the file and writes the texts with nothing between them (in text mode
// unless told otherwise). Raises "2003s" with the name when the file cannot be opened or the
// texts cannot all be written to it.
void writeLinesToFile(const std::string& fileName, const std::vector<std::string>& texts,
                      platform::FileMode mode = platform::FileMode::text);

// The names of the files written through here by this run, in order, each once (the logs and
// the MEInfo report), for the run record.
std::vector<std::string> logFilesWritten();
void resetLogFilesWritten();

// What the last write of a file through here put in it, as bytes on the disk (line ends as
// the file mode wrote them), for the run record: never read back from the file, which others
// may have replaced since.
struct WrittenLog {
  std::uint64_t size = 0;
  // The last writtenLogTailLimit bytes; empty for a copy of the run log, which holds them still.
  std::string tail;
  bool fromRunLog = false;
  std::size_t runLogBytes = 0;
};
constexpr std::size_t writtenLogTailLimit = 4 * 1024 * 1024;

// The whole size of what the last write put in the file; nothing for a file not written here.
std::optional<std::uint64_t> writtenLogSize(const std::string& fileName);

// Hands the last writtenLogTailLimit bytes of what the last write put in the file to `use`,
// part by part; false once `use` fails. Nothing for a file not written here.
bool copyWrittenLog(const std::string& fileName, const std::function<bool(std::string_view)>& use);
