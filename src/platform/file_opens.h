// A seam for the unit tests: every file the program opens for reading is told here first. The
// real platforms ignore it; the scripted one records the paths, so that a test can count what
// a piece of work reads.
#pragma once

#include <string>

namespace platform {

void noteFileOpened(const std::string& path);

}  // namespace platform
