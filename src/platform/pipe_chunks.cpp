#include "platform/pipe_chunks.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

constexpr std::size_t chunkLimit = 127;

bool refill(PipeBuffer& buffer) {
  buffer.begin = 0;
  buffer.end = buffer.read(buffer.source, buffer.bytes.data(), buffer.bytes.size());
  return buffer.end > 0;
}

}  // namespace

bool nextPipeChunk(PipeBuffer& buffer, std::string& chunk) {
  chunk.clear();
  while (chunk.size() < chunkLimit) {
    if (buffer.begin == buffer.end && !refill(buffer)) break;
    const char* start = buffer.bytes.data() + buffer.begin;
    std::size_t available = std::min(buffer.end - buffer.begin, chunkLimit - chunk.size());
    const void* lineFeed = std::memchr(start, '\n', available);
    std::size_t taken =
        lineFeed != nullptr ? static_cast<const char*>(lineFeed) - start + 1 : available;
    chunk.append(start, taken);
    buffer.begin += taken;
    if (lineFeed != nullptr) break;
  }
  if (chunk.empty()) return false;
  // fgets hands over a NUL-terminated text: whatever follows a NUL byte in the chunk is lost.
  chunk.resize(std::strlen(chunk.c_str()));
  return true;
}

}  // namespace platform
