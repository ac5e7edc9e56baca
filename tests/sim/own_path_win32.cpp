#include <windows.h>

#include "own_path.h"

std::string ownProgramPath() {
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return length > 0 && length < sizeof path ? std::string(path, length) : "";
}
