// windows.h must come before the other Windows headers.
#include <windows.h>

#include <io.h>
#include <setupapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <string>

#include "platform/file_opens.h"
#include "platform/files_win32.h"
#include "platform/platform.h"
#include "platform/system_folder_win32.h"

namespace platform {

std::optional<int> consoleStartAttributes() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  return static_cast<int>(info.wAttributes);
}

void setConsoleAttribute(int attribute) {
  // The console colours text as it arrives: text still in the buffer must arrive first, in the
  // colour it was written in.
  std::fflush(stdout);
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<WORD>(attribute));
}

void writeOutput(std::string_view text, Flush flush) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (flush == Flush::now) std::fflush(stdout);
}

void writeErrorOutput(std::string_view text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool readInputWord(std::string& word) {
  std::fflush(stdout);
  return static_cast<bool>(std::cin >> word);
}

// As the runtime's system() does, but with the system folder's cmd.exe, never %ComSpec%, and
// in the system folder: only Windows' own programs are run this way.
void runAndWait(const std::string& commandLine) {
  std::fflush(stdout);
  std::string interpreter = commandInterpreter();
  std::string arguments = interpreterCommandLine(interpreter, commandLine);
  std::string folder = systemFolder();
  keepCommandsFromWorkingFolder();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(interpreter.c_str(), arguments.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return;
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  CloseHandle(started.hProcess);
}

void openDocument(const std::string& fileName) {
  std::fflush(stdout);
  ShellExecuteA(nullptr, "open", fileName.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

struct DeviceDrivers::State {
  HDEVINFO devices = INVALID_HANDLE_VALUE;
  SP_DEVINFO_DATA device{};
  SP_DRVINFO_DATA_V2_W driver{};
};

DeviceDrivers::DeviceDrivers() : state(new State) {
  state->devices =
      SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
}

DeviceDrivers::~DeviceDrivers() {
  if (state->devices != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(state->devices);
}

bool DeviceDrivers::selectDevice(unsigned index) {
  if (state->devices == INVALID_HANDLE_VALUE) return false;
  state->device = SP_DEVINFO_DATA{};
  state->device.cbSize = sizeof state->device;
  return SetupDiEnumDeviceInfo(state->devices, index, &state->device) != FALSE;
}

bool DeviceDrivers::buildDriverList() {
  return SetupDiBuildDriverInfoList(state->devices, &state->device, SPDIT_COMPATDRIVER) != FALSE;
}

bool DeviceDrivers::selectDriver(unsigned index, std::u16string& description) {
  state->driver = SP_DRVINFO_DATA_V2_W{};
  state->driver.cbSize = sizeof state->driver;
  if (!SetupDiEnumDriverInfoW(state->devices, &state->device, SPDIT_COMPATDRIVER, index,
                              &state->driver)) {
    return false;
  }
  const WCHAR* text = state->driver.Description;
  description.assign(text, text + wcsnlen(text, LINE_LEN));
  return true;
}

bool DeviceDrivers::driverInfPath(std::u16string& infPath) {
  // Only the fixed part is wanted: the hardware IDs behind it may not fit, and the call then
  // reports an insufficient buffer with the INF file name already filled in.
  SP_DRVINFO_DETAIL_DATA_W detail{};
  detail.cbSize = sizeof detail;
  DWORD required = 0;
  if (!SetupDiGetDriverInfoDetailW(state->devices, &state->device, &state->driver, &detail,
                                   sizeof detail, &required) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  const WCHAR* text = detail.InfFileName;
  infPath.assign(text, text + wcsnlen(text, MAX_PATH));
  return true;
}

void prepareProcess() {
  // First of all: the program runs elevated from a folder anyone may have put a DLL into, and
  // Windows would search that folder first for every DLL loaded at run time, also for those
  // that system DLLs load on the program's behalf.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // On a console the runtime writes out every fwrite of its own accord; with a buffer of its
  // own, standard output is written when writeOutput or a wait flushes it, as on a pipe.
  std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

int processExitStatus(int exitCode) { return exitCode; }

// Only the scripted platform counts what is read.
void noteFileOpened(const std::string&) {}

}  // namespace platform
