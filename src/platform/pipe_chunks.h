// How the real platforms cut a command's output into chunks. The rule is that of fgets with a
// 128-byte buffer, but the bytes come from the pipe in as large pieces as it holds, and only
// when none are left does the platform read again, which may wait for the command. That is the
// one place where the program waits for a command's output, so it is where output written
// without a flush must reach the console.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Reads what the pipe behind `source` holds, up to `size` bytes, waiting for at least one.
// Returns the number of bytes read, 0 at the end of the output, on failure or once the
// command's time limit has passed.
using PipeRead = std::size_t (*)(void* source, char* into, std::size_t size);

// Bytes read from a pipe and not yet handed out.
struct PipeBuffer {
  void* source = nullptr;
  PipeRead read = nullptr;
  std::vector<char> bytes = std::vector<char>(64 * 1024);
  std::size_t begin = 0;
  std::size_t end = 0;
};

// The next chunk: at most 127 bytes, ending after the first line feed, and cut at a NUL byte.
// False when the output has ended and nothing of it is left.
bool nextPipeChunk(PipeBuffer& buffer, std::string& chunk);

}  // namespace platform
