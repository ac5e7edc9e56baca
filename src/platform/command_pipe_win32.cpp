// Commands run by the command interpreter with their standard output on a pipe, as _popen runs
// them, but started by hand: a command with a time limit must run in a job object, so that
// the job, with everything the command started, can be ended when the limit passes.
// windows.h must come before the other Windows headers.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/pipe_chunks.h"
#include "platform/platform.h"
#include "platform/system_folder_win32.h"

namespace platform {

namespace {

// A started command and what is known of it.
struct RunningCommand {
  HANDLE output = INVALID_HANDLE_VALUE;  // the pipe's reading end
  HANDLE process = nullptr;              // the command interpreter
  HANDLE job = nullptr;                  // the group of a command with a time limit
  HANDLE watchdog = nullptr;             // the thread that ends the job at the limit
  HANDLE finished = nullptr;             // set when the command's end was seen
  DWORD limitMilliseconds = 0;
  volatile LONG timedOut = 0;
  PipeBuffer buffer;
};

// The child gets this program's standard input and error, as _popen gives them; only an
// inheritable handle reaches it, and the program's own may not be one.
HANDLE inheritableCopy(DWORD which) {
  HANDLE original = GetStdHandle(which);
  HANDLE copy = nullptr;
  if (original == nullptr || original == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// A job that ends all its processes when it is closed, also when this program ends first.
HANDLE killingJob() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Starts the interpreter suspended when it is to join a job, so that it starts nothing
// outside the job.
bool startInterpreter(RunningCommand& state, const std::string& commandLine, HANDLE outputEnd) {
  std::string interpreter = commandInterpreter();
  std::string arguments = "\"" + interpreter + "\" /c " + commandLine;
  keepCommandsFromWorkingFolder();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritableCopy(STD_INPUT_HANDLE);
  startup.hStdOutput = outputEnd;
  startup.hStdError = inheritableCopy(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  DWORD flags = state.job != nullptr ? CREATE_SUSPENDED : 0;
  bool ok = CreateProcessA(interpreter.c_str(), arguments.data(), nullptr, nullptr, TRUE, flags,
                           nullptr, nullptr, &startup, &started) != FALSE;
  for (HANDLE copy : {startup.hStdInput, startup.hStdError}) {
    if (copy != nullptr) CloseHandle(copy);
  }
  if (!ok) return false;
  if (state.job != nullptr && !AssignProcessToJobObject(state.job, started.hProcess)) {
    // Without the job only the interpreter itself can be ended at the limit.
    CloseHandle(state.job);
    state.job = nullptr;
  }
  if (flags & CREATE_SUSPENDED) ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  state.process = started.hProcess;
  return true;
}

void endCommand(RunningCommand& state) {
  if (state.job != nullptr) {
    TerminateJobObject(state.job, 1);
  } else {
    TerminateProcess(state.process, 1);
  }
}

// Runs beside the reading, which blocks in ReadFile: ending the job closes every copy of the
// pipe's writing end, and the read then returns as at the end of the output.
DWORD WINAPI watchCommand(void* parameter) {
  auto& state = *static_cast<RunningCommand*>(parameter);
  if (WaitForSingleObject(state.finished, state.limitMilliseconds) == WAIT_TIMEOUT) {
    InterlockedExchange(&state.timedOut, 1);
    endCommand(state);
  }
  return 0;
}

void startWatchdog(RunningCommand& state, TimeLimit timeLimit) {
  state.limitMilliseconds = static_cast<DWORD>(timeLimit.count());
  state.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (state.finished != nullptr) {
    state.watchdog = CreateThread(nullptr, 0, watchCommand, &state, 0, nullptr);
  }
  // Without a watchdog the command cannot be timed; it is ended at once rather than risk an
  // endless wait.
  if (state.watchdog == nullptr) {
    InterlockedExchange(&state.timedOut, 1);
    endCommand(state);
  }
}

bool launch(RunningCommand& state, const std::string& commandLine, TimeLimit timeLimit) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outputEnd = nullptr;
  if (!CreatePipe(&state.output, &outputEnd, &inherited, 0)) {
    state.output = INVALID_HANDLE_VALUE;
    return false;
  }
  SetHandleInformation(state.output, HANDLE_FLAG_INHERIT, 0);
  if (timeLimit > TimeLimit::zero()) state.job = killingJob();
  bool started = startInterpreter(state, commandLine, outputEnd);
  CloseHandle(outputEnd);
  if (started && timeLimit > TimeLimit::zero()) startWatchdog(state, timeLimit);
  return started;
}

// Called only when every byte read before is handed out: the command may not have printed
// more yet, so what the program wrote must be on the console before it waits.
std::size_t readPipe(void* source, char* into, std::size_t size) {
  auto& state = *static_cast<RunningCommand*>(source);
  std::fflush(stdout);
  DWORD count = 0;
  while (state.timedOut == 0 &&
         ReadFile(state.output, into, static_cast<DWORD>(size), &count, nullptr)) {
    if (count > 0) return count;  // an empty write by the child is no end of output
  }
  return 0;
}

void closeHandle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

struct CommandPipe::State {
  RunningCommand command;
};

CommandPipe::CommandPipe(const std::string& commandLine, TimeLimit timeLimit) : state(new State) {
  std::fflush(stdout);  // the child's output must not overtake ours
  RunningCommand& command = state->command;
  if (!launch(command, commandLine, timeLimit)) {
    closeHandle(command.output);
    closeHandle(command.job);
    command.output = INVALID_HANDLE_VALUE;
  }
  command.buffer.source = &command;
  command.buffer.read = readPipe;
}

CommandPipe::~CommandPipe() {
  RunningCommand& command = state->command;
  if (command.output == INVALID_HANDLE_VALUE) return;
  std::fflush(stdout);
  closeHandle(command.output);
  // A command with a limit is ended by the watchdog at the latest when the limit passes.
  WaitForSingleObject(command.process, INFINITE);
  if (command.watchdog != nullptr) {
    SetEvent(command.finished);
    WaitForSingleObject(command.watchdog, INFINITE);
  }
  closeHandle(command.watchdog);
  closeHandle(command.finished);
  closeHandle(command.process);
  // Ends whatever the command left running behind it.
  closeHandle(command.job);
}

bool CommandPipe::isOpen() const { return state->command.output != INVALID_HANDLE_VALUE; }

bool CommandPipe::readChunk(std::string& chunk) {
  return isOpen() && nextPipeChunk(state->command.buffer, chunk);
}

bool CommandPipe::timedOut() const { return state->command.timedOut != 0; }

void pauseMilliseconds(unsigned milliseconds) {
  std::fflush(stdout);
  Sleep(milliseconds);
}

}  // namespace platform
