// Commands run by the command interpreter with their standard output on a pipe, as _popen runs
// them, but started by hand: a command with a time limit must run in a job object, so that
// the job, with everything the command started, can be ended when the limit passes.
// windows.h must come before the other Windows headers.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/files_win32.h"
#include "platform/flash_console_win32.h"
#include "platform/pipe_chunks.h"
#include "platform/platform.h"
#include "platform/run_guards_win32.h"
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
  HANDLE reader = nullptr;               // the thread that reads, whose read the limit cancels
  bool flash = false;
  DWORD limitMilliseconds = 0;
  ULONGLONG deadline = 0;  // in GetTickCount64's milliseconds
  volatile LONG timedOut = 0;
  volatile LONG capped = 0;
  volatile LONG leftover = 0;  // a flash's output was let go of at the leftover bound
  volatile LONG reading = 0;   // the reader waits in ReadFile
  std::size_t received = 0;    // bytes of output read so far
  PipeBuffer buffer;
};

// How long the end of a command that was ended at its limit is waited for: one stuck in a
// driver call may never end, and the installer must still come to its own end.
constexpr DWORD endGraceMilliseconds = 10000;

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

// A flash's standard input and error: the installer's own where that is a file or a pipe. A
// console handle would tie the flash to the installer's console, so it gets NUL instead; its
// standard error never goes into the output pipe, which carries standard output only.
HANDLE flashStandardHandle(DWORD which) {
  HANDLE original = GetStdHandle(which);
  DWORD type = original != nullptr && original != INVALID_HANDLE_VALUE ? GetFileType(original)
                                                                       : FILE_TYPE_UNKNOWN;
  if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return inheritableCopy(which);
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  DWORD access = which == STD_INPUT_HANDLE ? GENERIC_READ : GENERIC_WRITE;
  HANDLE nul = CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           OPEN_EXISTING, 0, nullptr);
  return nul != INVALID_HANDLE_VALUE ? nul : nullptr;
}

// A flash starts out of the installer's job; a job that does not allow that refuses the start
// with ERROR_ACCESS_DENIED and starts nothing, so the flash is then started in the job, within
// the same start.
bool createFlashProcess(const std::string& interpreter, std::string& arguments,
                        const char* workingFolder, STARTUPINFOA& startup,
                        PROCESS_INFORMATION& started) {
  for (bool breakaway : {true, false}) {
    if (CreateProcessA(interpreter.c_str(), arguments.data(), nullptr, nullptr, TRUE,
                       flashCreationFlags(breakaway), nullptr, workingFolder, &startup, &started)) {
      return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  }
  return false;
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

// Makes the guard's handle inheritable for the one start of a flash, so that the flash holds
// the guard as long as it runs; every other command starts without it.
void offerGuard(bool flash, DWORD inherit) {
  HANDLE guard = flash ? claimedGuardHandle() : nullptr;
  if (guard != nullptr) SetHandleInformation(guard, HANDLE_FLAG_INHERIT, inherit);
}

// Starts the interpreter suspended when it is to join a job, so that it starts nothing
// outside the job. A command whose limit cannot be enforced, because it cannot join its job,
// counts as not started: its reading could otherwise wait for ever on a grandchild.
bool startInterpreter(RunningCommand& state, const std::string& commandLine,
                      const std::string& workingFolder, HANDLE outputEnd) {
  std::string interpreter = commandInterpreter();
  std::string arguments = interpreterCommandLine(interpreter, commandLine);
  keepCommandsFromWorkingFolder();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput =
      state.flash ? flashStandardHandle(STD_INPUT_HANDLE) : inheritableCopy(STD_INPUT_HANDLE);
  startup.hStdOutput = outputEnd;
  startup.hStdError =
      state.flash ? flashStandardHandle(STD_ERROR_HANDLE) : inheritableCopy(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  DWORD flags = state.job != nullptr ? CREATE_SUSPENDED : 0;
  offerGuard(state.flash, HANDLE_FLAG_INHERIT);
  const char* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
  bool ok = state.flash ? createFlashProcess(interpreter, arguments, folder, startup, started)
                        : CreateProcessA(interpreter.c_str(), arguments.data(), nullptr, nullptr,
                                         TRUE, flags, nullptr, folder, &startup, &started) != FALSE;
  offerGuard(state.flash, 0);
  for (HANDLE copy : {startup.hStdInput, startup.hStdError}) {
    if (copy != nullptr) CloseHandle(copy);
  }
  if (!ok) return false;
  if (state.job != nullptr && !AssignProcessToJobObject(state.job, started.hProcess)) {
    TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return false;
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

// Runs beside the reading, which blocks in ReadFile. Ending the job closes every copy of the
// pipe's writing end, and the read then returns as at the end of the output; a member stuck in
// a driver call may keep its copy, so the pending read is cancelled too, again and again until
// the reader has let go of the pipe (an anonymous pipe cannot be read overlapped).
DWORD WINAPI watchCommand(void* parameter) {
  auto& state = *static_cast<RunningCommand*>(parameter);
  if (WaitForSingleObject(state.finished, state.limitMilliseconds) != WAIT_TIMEOUT) return 0;
  InterlockedExchange(&state.timedOut, 1);
  endCommand(state);
  do {
    if (state.reading != 0) CancelSynchronousIo(state.reader);
  } while (WaitForSingleObject(state.finished, 20) == WAIT_TIMEOUT);
  return 0;
}

// A flash's output ends when every copy of the pipe's writing end is closed, and something the
// flash started and left running may hold one for ever. So once the flash's own process has
// ended, what is left is read for flashLeftoverBound at most; then the reading is cancelled as
// at a query's limit.
DWORD WINAPI watchFlash(void* parameter) {
  auto& state = *static_cast<RunningCommand*>(parameter);
  HANDLE ends[] = {state.finished, state.process};
  if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
  DWORD bound = static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(flashLeftoverBound).count());
  if (WaitForSingleObject(state.finished, bound) != WAIT_TIMEOUT) return 0;
  InterlockedExchange(&state.leftover, 1);
  do {
    if (state.reading != 0) CancelSynchronousIo(state.reader);
  } while (WaitForSingleObject(state.finished, 20) == WAIT_TIMEOUT);
  return 0;
}

// A limit that no watchdog can enforce counts as a failed start.
bool startWatchdog(RunningCommand& state, TimeLimit timeLimit,
                   LPTHREAD_START_ROUTINE watch = watchCommand) {
  state.limitMilliseconds = static_cast<DWORD>(timeLimit.count());
  state.deadline = GetTickCount64() + state.limitMilliseconds;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &state.reader,
                       0, FALSE, DUPLICATE_SAME_ACCESS)) {
    state.reader = nullptr;
    return false;
  }
  state.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (state.finished != nullptr) {
    state.watchdog = CreateThread(nullptr, 0, watch, &state, 0, nullptr);
  }
  return state.watchdog != nullptr;
}

bool launch(RunningCommand& state, const std::string& commandLine, TimeLimit timeLimit,
            const std::string& workingFolder) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outputEnd = nullptr;
  if (!CreatePipe(&state.output, &outputEnd, &inherited, 0)) {
    state.output = INVALID_HANDLE_VALUE;
    return false;
  }
  SetHandleInformation(state.output, HANDLE_FLAG_INHERIT, 0);
  bool limited = !state.flash && timeLimit > TimeLimit::zero();
  if (limited) {
    state.job = killingJob();
    if (state.job == nullptr) {
      CloseHandle(outputEnd);
      return false;
    }
  }
  bool started = startInterpreter(state, commandLine, workingFolder, outputEnd);
  CloseHandle(outputEnd);
  if (started && limited && !startWatchdog(state, timeLimit)) {
    TerminateJobObject(state.job, 1);
    WaitForSingleObject(state.process, endGraceMilliseconds);
    return false;
  }
  // A flash is started by now and must not be let go of: without its watchdog, its output is
  // read to its very end.
  if (started && state.flash) startWatchdog(state, noTimeLimit, watchFlash);
  return started;
}

bool readOnce(RunningCommand& state, char* into, DWORD size, DWORD& count) {
  InterlockedExchange(&state.reading, 1);
  bool ok = state.timedOut == 0 && state.leftover == 0 &&
            ReadFile(state.output, into, size, &count, nullptr);
  InterlockedExchange(&state.reading, 0);
  return ok;
}

// Called only when every byte read before is handed out: the command may not have printed
// more yet, so what the program wrote must be on the console before it waits.
std::size_t readPipe(void* source, char* into, std::size_t size) {
  auto& state = *static_cast<RunningCommand*>(source);
  std::fflush(stdout);
  // At the cap one more byte is asked for, to tell an output that ends there from one that
  // goes on.
  bool limited = state.job != nullptr;
  std::size_t room = limited ? queryOutputCap - state.received : size;
  bool atCap = limited && room == 0;
  char spare;
  DWORD count = 0;
  while (atCap ? readOnce(state, &spare, 1, count)
               : readOnce(state, into, static_cast<DWORD>(room < size ? room : size), count)) {
    if (count == 0) continue;  // an empty write by the child is no end of output
    if (!atCap) {
      state.received += count;
      return count;
    }
    InterlockedExchange(&state.capped, 1);
    InterlockedExchange(&state.timedOut, 1);
    endCommand(state);
    return 0;
  }
  return 0;
}

// A flash's output is read to its end, whatever the reader did with it: a closed pipe would
// make the tool's later writes fail in the middle of the firmware write.
void drainOutput(RunningCommand& state) {
  char discarded[4096];
  DWORD count = 0;
  while (readOnce(state, discarded, sizeof discarded, count)) {
  }
}

void closeHandle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// Lets the watchdog go and closes what is left of a command. Closing the job last ends whatever
// the command left running behind it.
void releaseCommand(RunningCommand& command) {
  if (command.watchdog != nullptr) {
    SetEvent(command.finished);
    WaitForSingleObject(command.watchdog, INFINITE);
  }
  closeHandle(command.watchdog);
  closeHandle(command.finished);
  closeHandle(command.reader);
  closeHandle(command.process);
  closeHandle(command.output);
  closeHandle(command.job);
}

}  // namespace

struct CommandPipe::State {
  RunningCommand command;
};

CommandPipe::CommandPipe(const std::string& commandLine, TimeLimit timeLimit, CommandRole role,
                         const std::string& workingFolder)
    : state(new State) {
  std::fflush(stdout);  // the child's output must not overtake ours
  RunningCommand& command = state->command;
  command.flash = role == CommandRole::flash;
  if (!launch(command, commandLine, timeLimit, workingFolder)) {
    releaseCommand(command);
    command.output = INVALID_HANDLE_VALUE;
  }
  command.buffer.source = &command;
  command.buffer.read = readPipe;
}

CommandPipe::~CommandPipe() {
  RunningCommand& command = state->command;
  if (command.output == INVALID_HANDLE_VALUE) return;
  std::fflush(stdout);
  if (command.job == nullptr) {
    drainOutput(command);
    closeHandle(command.output);
    WaitForSingleObject(command.process, INFINITE);
  } else {
    closeHandle(command.output);
    // The watchdog ends the job at the limit at the latest; the wait for the end that follows
    // is bounded all the same.
    ULONGLONG now = GetTickCount64();
    DWORD left = command.deadline > now ? static_cast<DWORD>(command.deadline - now) : 0;
    WaitForSingleObject(command.process, left + endGraceMilliseconds);
  }
  releaseCommand(command);
}

bool CommandPipe::isOpen() const { return state->command.output != INVALID_HANDLE_VALUE; }

bool CommandPipe::readChunk(std::string& chunk) {
  return isOpen() && nextPipeChunk(state->command.buffer, chunk);
}

bool CommandPipe::timedOut() const { return state->command.timedOut != 0; }

bool CommandPipe::outputCapped() const { return state->command.capped != 0; }

bool CommandPipe::leftBehind() {
  RunningCommand& command = state->command;
  if (!isOpen() || !command.flash) return false;
  drainOutput(command);
  return command.leftover != 0;
}

bool CommandPipe::commandNotFound() {
  RunningCommand& command = state->command;
  if (!isOpen() || command.timedOut != 0) return false;
  if (command.job == nullptr) {
    drainOutput(command);
    WaitForSingleObject(command.process, INFINITE);
  } else {
    ULONGLONG now = GetTickCount64();
    DWORD left = command.deadline > now ? static_cast<DWORD>(command.deadline - now) : 0;
    WaitForSingleObject(command.process, left + endGraceMilliseconds);
  }
  DWORD code = 0;
  return GetExitCodeProcess(command.process, &code) && code == 9009;
}

void pauseMilliseconds(unsigned milliseconds) {
  std::fflush(stdout);
  Sleep(milliseconds);
}

}  // namespace platform
