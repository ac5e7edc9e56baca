// Runs a Windows program under wine and keeps its whole 32-bit exit code, which wine's own
// exit status cuts to eight bits: the code is written to the file named by
// MEFW_EXIT_CODE_FILE. A test can also have it end the program at a moment of its choosing, run
// it in a job as a deployment agent does, send Ctrl+C to its console, or hold a file for a while.
//
//   MEFW_TERMINATE_ON_FILE  end the program the hard way once this file exists
//   MEFW_JOB                "breakaway" or "no-breakaway": run the program in a job that ends
//                           everything in it when it is closed, and that lets a process started
//                           with CREATE_BREAKAWAY_FROM_JOB out of it, or not
//   MEFW_CLOSE_JOB_ON_FILE  close that job once this file exists
//   MEFW_CTRL_C_ON_FILE     once this file exists, send Ctrl+C to every process on the console;
//                           "ctrl-c sent: 1" (or 0 when the call failed) goes to standard error
//   MEFW_HOLD_FILE          hold this file open from the start, without delete sharing, ...
//   MEFW_HOLD_UNTIL_FILE    ... until MEFW_HOLD_MS milliseconds after this file exists
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

bool exists(const char* path) {
  return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The launcher stays on the console it sends Ctrl+C to.
BOOL WINAPI passCtrlC(DWORD event) { return event == CTRL_C_EVENT; }

struct Moments {
  const char* terminateOn = std::getenv("MEFW_TERMINATE_ON_FILE");
  const char* closeJobOn = std::getenv("MEFW_CLOSE_JOB_ON_FILE");
  const char* ctrlCOn = std::getenv("MEFW_CTRL_C_ON_FILE");
  const char* holdUntil = std::getenv("MEFW_HOLD_UNTIL_FILE");
  HANDLE held = INVALID_HANDLE_VALUE;
  ULONGLONG releaseAt = 0;
};

// Acts on each moment once; true when the program was ended the hard way.
bool actOnMoments(Moments& moments, HANDLE process, HANDLE& job) {
  if (exists(moments.terminateOn)) {
    TerminateProcess(process, 0xC0000005);
    return true;
  }
  if (job != nullptr && exists(moments.closeJobOn)) {
    CloseHandle(job);
    job = nullptr;
  }
  if (exists(moments.ctrlCOn)) {
    moments.ctrlCOn = nullptr;
    SetConsoleCtrlHandler(passCtrlC, TRUE);
    std::fprintf(stderr, "ctrl-c sent: %d\n", GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 1 : 0);
  }
  if (moments.held != INVALID_HANDLE_VALUE && moments.releaseAt == 0 && exists(moments.holdUntil)) {
    moments.releaseAt = GetTickCount64() + std::strtoul(std::getenv("MEFW_HOLD_MS"), nullptr, 10);
  }
  if (moments.releaseAt != 0 && GetTickCount64() >= moments.releaseAt) {
    CloseHandle(moments.held);
    moments.held = INVALID_HANDLE_VALUE;
    moments.releaseAt = 0;
  }
  return false;
}

void waitForProgram(HANDLE process, HANDLE job) {
  Moments moments;
  if (const char* path = std::getenv("MEFW_HOLD_FILE")) {
    moments.held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  }
  bool watching = moments.terminateOn != nullptr || moments.closeJobOn != nullptr ||
                  moments.ctrlCOn != nullptr || moments.held != INVALID_HANDLE_VALUE;
  while (WaitForSingleObject(process, watching ? 10 : INFINITE) == WAIT_TIMEOUT) {
    if (actOnMoments(moments, process, job)) break;
  }
  WaitForSingleObject(process, INFINITE);
  if (job != nullptr) CloseHandle(job);
  if (moments.held != INVALID_HANDLE_VALUE) CloseHandle(moments.held);
}

// The job a deployment agent may run the installer in: everything in it ends when it closes.
HANDLE agentJob() {
  const char* kind = std::getenv("MEFW_JOB");
  if (kind == nullptr) return nullptr;
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (std::string(kind) == "breakaway") {
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  }
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
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
  HANDLE job = agentJob();
  if (!CreateProcessA(nullptr, commandTail(GetCommandLineA()), nullptr, nullptr, TRUE,
                      job != nullptr ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "exit_code_launcher: cannot start the program (%lu)\n", GetLastError());
    return 127;
  }
  if (job != nullptr) {
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
  }
  waitForProgram(process.hProcess, job);
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
