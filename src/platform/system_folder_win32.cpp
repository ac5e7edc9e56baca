// windows.h must come before the other Windows headers.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/files_win32.h"
#include "platform/platform.h"
#include "platform/system_folder_win32.h"

namespace platform {

std::string exactNarrowName(const wchar_t* name, unsigned length) {
  if (length == 0 || length >= MAX_PATH) return "";
  // Command lines are narrow text; a folder name they cannot carry exactly is no name at all.
  char narrow[4 * MAX_PATH];
  BOOL lossy = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, static_cast<int>(length),
                                 narrow, sizeof narrow, nullptr, &lossy);
  if (size <= 0 || lossy) return "";
  return std::string(narrow, static_cast<std::size_t>(size));
}

std::string systemFolder() {
  wchar_t folder[MAX_PATH];
  return exactNarrowName(folder, GetSystemDirectoryW(folder, MAX_PATH));
}

std::string systemProgramsFolder() { return systemFolder(); }

std::string interpreterCommandLine(const std::string& interpreter, const std::string& command) {
  return "\"" + interpreter + "\" /d /c " + command;
}

std::string commandInterpreter() {
  std::string folder = systemFolder();
  return folder.empty() ? "" : folder + "\\cmd.exe";
}

void keepCommandsFromWorkingFolder() {
  // Set in this process's own environment, which every command inherits; the installer itself
  // starts nothing by a bare name.
  SetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", "1");
}

std::optional<std::string> systemProgram(SystemProgram program) {
  std::string folder = systemFolder();
  if (folder.empty()) return std::nullopt;
  if (program == SystemProgram::timeout) return folder + "\\timeout.exe";
  if (program == SystemProgram::shutdown) return folder + "\\shutdown.exe";
  // Windows 11 24H2 and later ship without wmic; any other wmic is not Windows' own.
  std::string wmic = folder + "\\wbem\\WMIC.exe";
  DWORD attributes = GetFileAttributesA(wmic.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return wmic;
}

}  // namespace platform
