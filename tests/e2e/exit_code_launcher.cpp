// Runs a Windows program under wine and keeps its whole 32-bit exit code, which wine's own
// exit status cuts to eight bits: the code is written to the file named by
// MEFW_EXIT_CODE_FILE. A test can also have it end the program at a moment of its choosing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The command line after this program's own name, quoted or not.
char* commandTail(char* line) {
  bool quoted = false;
  while (*line != '\0' && (quoted || (*line != ' ' && *line != '\t'))) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line == ' ' || *line == '\t') {
    ++line;
  }
  return line;
}

// With MEFW_TERMINATE_ON_FILE set, the program is ended the hard way, as a crash or the task
// manager ends it, as soon as that file exists.
void waitForProgram(HANDLE process) {
  const char* trigger = std::getenv("MEFW_TERMINATE_ON_FILE");
  while (WaitForSingleObject(process, trigger != nullptr ? 20 : INFINITE) == WAIT_TIMEOUT) {
    if (GetFileAttributesA(trigger) != INVALID_FILE_ATTRIBUTES) {
      TerminateProcess(process, 0xC0000005);
      WaitForSingleObject(process, INFINITE);
      return;
    }
  }
}

}  // namespace

int main() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandTail(GetCommandLineA()), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "exit_code_launcher: cannot start the program (%lu)\n", GetLastError());
    return 127;
  }
  waitForProgram(process.hProcess);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (const char* file = std::getenv("MEFW_EXIT_CODE_FILE")) {
    if (FILE* out = std::fopen(file, "w")) {
      std::fprintf(out, "%ld\n", static_cast<long>(static_cast<LONG>(code)));
      std::fclose(out);
    }
  }
  return static_cast<int>(code);
}
