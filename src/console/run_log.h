// The run log: every message of every level, shown or not, in call order. Its text is kept in
// blocks of a fixed size, so that it grows without moving what it holds and never takes much
// more memory than the text itself; the log files are written straight from the blocks.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

struct RunLog {
  std::vector<std::string> blocks;       // every block but the last is full
  std::vector<std::size_t> messageEnds;  // where each message ends in the whole text

  void append(std::string_view message);
  // Adds the text to the end of the last message (a new one when there is none).
  void extendLast(std::string_view text);
  void clear();
  std::size_t size() const { return messageEnds.empty() ? 0 : messageEnds.back(); }

  // Writes the first `bytes` bytes of the text; false when a write failed.
  bool writeTo(platform::OutputFile& file, std::size_t bytes) const;
  // Hands the first `bytes` bytes of the text to `use`, part by part; false once it fails.
  bool forEachPart(std::size_t bytes, const std::function<bool(std::string_view)>& use) const;

  std::string text() const;
  std::vector<std::string> messages() const;
  std::string back() const;

 private:
  void appendText(std::string_view text);
};

// The log compared message by message.
bool operator==(const RunLog& log, const std::vector<std::string>& messages);
