// What both real platforms share of OutputFile: the file is written through the C runtime, and
// a replacing file reaches its name only once every byte of it was written (and, for
// WriteMethod::replace, is on the disk), so that a failure at any point leaves the old file
// whole. Each platform brings its own way to make a new file, to sync and to move.
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

// How many temporary names are tried before a replacing file counts as not opened.
constexpr int temporaryNameTries = 16;

// Opens the temporary sibling of a replacing file under a name of its own (see WriteMethod) and
// names it in `writtenPath`; nothing when no name could be made new.
FILE* openTemporarySibling(const std::string& path, FileMode mode, std::string& writtenPath);

// A file made new at `path` for writing (POSIX O_EXCL, Windows CREATE_NEW): nothing when
// anything at all is there already, a link included, which is neither opened nor followed.
FILE* createNewFile(const std::string& path, FileMode mode);

// 16 random lower-case hexadecimal digits.
std::string randomHexDigits();

// Forces a flushed file's bytes onto the disk; false when that fails.
bool syncToDisk(FILE* stream);

// Moves a closed file over another, replacing it; false when that fails. `retried`: a move
// refused for a moment is tried again for up to replaceRetryMilliseconds.
bool moveOver(const std::string& from, const std::string& to, bool retried);

// Makes a finished move itself durable; false when that fails.
bool syncMove(const std::string& to, bool retried);

// Removes what is left of earlier replaces of `path`: files (never folders) named
// path + temporaryMark + anything, last written over a minute ago, so that one another
// installer is writing just now is left alone.
void removeStaleTemporaries(const std::string& path);

}  // namespace platform
