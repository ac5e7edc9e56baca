#include <windows.h>

#include <cstdlib>
#include <string>

#include "crash.h"

// The status Windows gives a process that died of an access violation; terminating directly
// skips the error reporting that would otherwise show a dialog.
void crashNow() {
  TerminateProcess(GetCurrentProcess(), 0xC0000005);
  std::_Exit(3);
}

// The process left running is a copy of this program that only waits (see lingerIfAsked).
void leaveRunning(long long ms) {
  char path[MAX_PATH];
  if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0) return;
  std::string line = "\"" + std::string(path) + "\" --linger " + std::to_string(ms);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  // Standard output alone is held: a reader of the tool's standard error is no one's concern.
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  startup.hStdError = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherited, OPEN_EXISTING, 0, nullptr);
  SetHandleInformation(startup.hStdOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION started{};
  if (CreateProcessA(path, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &started)) {
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
  if (startup.hStdError != INVALID_HANDLE_VALUE) CloseHandle(startup.hStdError);
}

bool lingerIfAsked(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--linger") return false;
  Sleep(static_cast<DWORD>(std::stoll(argv[2])));
  return true;
}
