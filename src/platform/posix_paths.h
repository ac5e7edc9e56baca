// Paths and command lines are built with Windows separators; the POSIX build runs the same
// texts after turning every backslash into a slash (names read from input.txt cannot hold a
// backslash, so nothing else is changed by this).
#pragma once

#include <string>

namespace platform {

inline std::string toPosixSeparators(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

}  // namespace platform
