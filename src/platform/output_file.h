// What both real platforms share of OutputFile: the file is written through the C runtime, and
// a replacing file reaches its name only once every byte of it was written and is on the disk,
// so that a failure at any point leaves the old file whole. Each platform brings its own sync
// and move.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace platform {

struct OutputFile::State {
  FILE* stream = nullptr;
  FileMode mode = FileMode::text;
  WriteMethod method = WriteMethod::inPlace;
  std::string path;
  // The path itself, or its temporary sibling for the replacing methods.
  std::string writtenPath;
  bool failed = false;
  bool committed = false;
};

// Forces a flushed file's bytes onto the disk; false when that fails.
bool syncToDisk(FILE* stream);

// Moves a closed file over another, replacing it; false when that fails.
bool moveOver(const std::string& from, const std::string& to);

}  // namespace platform
