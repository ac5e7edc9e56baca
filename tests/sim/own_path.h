#pragma once

#include <string>

// The full path of the running program's own file, as the system names it.
std::string ownProgramPath();
