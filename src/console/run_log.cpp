#include "console/run_log.h"

#include <algorithm>

namespace {

constexpr std::size_t blockBytes = 64 * 1024;

}  // namespace

void RunLog::append(std::string_view message) {
  appendText(message);
  messageEnds.push_back(size() + message.size());
}

void RunLog::appendText(std::string_view message) {
  for (std::size_t taken = 0; taken < message.size();) {
    if (blocks.empty() || blocks.back().size() == blockBytes) {
      blocks.emplace_back();
      blocks.back().reserve(blockBytes);
    }
    std::size_t room = std::min(blockBytes - blocks.back().size(), message.size() - taken);
    blocks.back().append(message.substr(taken, room));
    taken += room;
  }
}

void RunLog::extendLast(std::string_view text) {
  if (messageEnds.empty()) {
    append(text);
    return;
  }
  appendText(text);
  messageEnds.back() += text.size();
}

void RunLog::clear() {
  blocks.clear();
  messageEnds.clear();
}

bool RunLog::writeTo(platform::OutputFile& file, std::size_t bytes) const {
  return forEachPart(bytes, [&file](std::string_view part) { return file.write(part); });
}

bool RunLog::forEachPart(std::size_t bytes,
                         const std::function<bool(std::string_view)>& use) const {
  for (const std::string& block : blocks) {
    if (bytes == 0) break;
    std::string_view part = std::string_view(block).substr(0, bytes);
    if (!use(part)) return false;
    bytes -= part.size();
  }
  return true;
}

std::string RunLog::text() const {
  std::string whole;
  for (const std::string& block : blocks) {
    whole += block;
  }
  return whole;
}

std::vector<std::string> RunLog::messages() const {
  const std::string whole = text();
  std::vector<std::string> result;
  std::size_t begin = 0;
  for (std::size_t end : messageEnds) {
    result.push_back(whole.substr(begin, end - begin));
    begin = end;
  }
  return result;
}

std::string RunLog::back() const { return messages().back(); }

bool operator==(const RunLog& log, const std::vector<std::string>& messages) {
  return log.messages() == messages;
}
