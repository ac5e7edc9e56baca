// Commands run by /bin/sh with their standard output on a pipe, as popen runs them, but
// started by hand: a command with a time limit must run in a process group of its own, so that
// the group, with everything the command started, can be ended when the limit passes.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>

#include "platform/pipe_chunks.h"
#include "platform/platform.h"
#include "platform/posix_paths.h"
#include "platform/run_guards_posix.h"

extern char** environ;

namespace platform {

using Clock = std::chrono::steady_clock;

namespace {

// A started command and what is known of it.
struct RunningCommand {
  int descriptor = -1;
  pid_t child = -1;
  bool limited = false;
  bool flash = false;
  // A query's time limit; for a flash, the end of the leftover bound once its process ended.
  Clock::time_point deadline;
  bool leftover = false;  // a flash's output was let go of at the leftover bound
  bool timedOut = false;
  bool capped = false;
  bool ended = false;        // the child was waited for
  int status = 0;            // its wait status, once ended
  std::size_t received = 0;  // bytes of output read so far
  PipeBuffer buffer;
};

// The signals a flash starts with ignored: no hang-up, interrupt or termination sent to a
// terminal's or a session's processes may end it; a pipe no one reads any more makes its
// writes fail instead of ending it; and as a group in the background, a read of or write to
// the terminal fails instead of stopping it for good.
constexpr int flashIgnoredSignals[] = {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTTIN, SIGTTOU};

// A query starts with the signal handling of a fresh process: whatever this program ignores
// or blocks must not change how the command behaves. A flash keeps the signals above ignored
// (see spawnShell).
void prepareSpawnAttributes(posix_spawnattr_t& attributes, bool ownGroup, bool flash) {
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGCHLD);
  if (!flash) {
    for (int signal : flashIgnoredSignals) {
      sigaddset(&defaults, signal);
    }
  }
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (ownGroup || flash) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  posix_spawnattr_setflags(&attributes, flags);
}

// An ignored signal stays ignored across exec, a handled one does not, so a flash's are
// ignored here for the spawn and then restored.
struct IgnoredForSpawn {
  bool active;
  struct sigaction previous[std::size(flashIgnoredSignals)] = {};
  explicit IgnoredForSpawn(bool flash) : active(flash) {
    if (!active) return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (std::size_t i = 0; i < std::size(flashIgnoredSignals); ++i) {
      sigaction(flashIgnoredSignals[i], &ignore, &previous[i]);
    }
  }
  ~IgnoredForSpawn() {
    if (!active) return;
    for (std::size_t i = 0; i < std::size(flashIgnoredSignals); ++i) {
      sigaction(flashIgnoredSignals[i], &previous[i], nullptr);
    }
  }
};

// Starts "/bin/sh -c commandLine" with its standard output on a new pipe; returns the pipe's
// reading end, or -1. A flash inherits the installer lock's descriptor: the lock belongs to the
// open file, so the flash holds it as long as it runs, also when this program is ended first.
// Every other descriptor of the lock is closed on exec.
int spawnShell(const std::string& commandLine, const std::string& workingFolder, bool ownGroup,
               bool flash, pid_t& child) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  int lock = flash ? claimedLockDescriptor() : -1;
  int inherited = lock >= 0 ? dup(lock) : -1;  // a copy made by dup is not closed on exec
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  std::string folder = toPosixSeparators(workingFolder);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attributes;
  prepareSpawnAttributes(attributes, ownGroup, flash);
  std::string shell = "/bin/sh";
  std::string option = "-c";
  std::string command = toPosixSeparators(commandLine);
  char* argv[] = {shell.data(), option.data(), command.data(), nullptr};
  int failed = 0;
  {
    IgnoredForSpawn ignored(flash);
    failed = posix_spawn(&child, shell.c_str(), &actions, &attributes, argv, environ);
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (inherited >= 0) close(inherited);
  close(ends[1]);
  if (failed == 0) return ends[0];
  close(ends[0]);
  return -1;
}

int millisecondsLeft(const RunningCommand& state) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(state.deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A grandchild that calls setsid leaves the group and is not ended with it. Windows' job object
// has no such gap; POSIX is the development build, so it is left at that.
void endCommandGroup(RunningCommand& state) {
  state.timedOut = true;
  kill(-state.child, SIGKILL);
}

// Waits until the pipe holds something or the time limit passes; false at the limit.
bool waitForOutput(RunningCommand& state) {
  pollfd output{state.descriptor, POLLIN, 0};
  for (;;) {
    int ready = poll(&output, 1, millisecondsLeft(state));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;  // the read that follows reports the failure
  }
}

void waitForChild(RunningCommand& state, int options, pid_t& result) {
  do {
    result = waitpid(state.child, &state.status, options);
  } while (result < 0 && errno == EINTR);
  if (result != 0) state.ended = true;
}

// While the flash runs, how often the reading looks whether its process has ended.
constexpr int flashLookMilliseconds = 100;

// A flash's output ends when every copy of the pipe's writing end is closed, and something the
// flash started and left running may hold one for ever. So once the flash's own process has
// ended, what is left is read for flashLeftoverBound at most.
std::size_t readFlashPipe(RunningCommand& state, char* into, std::size_t size) {
  for (;;) {
    if (!state.ended) {
      pid_t result = 0;
      waitForChild(state, WNOHANG, result);
      if (state.ended) state.deadline = Clock::now() + flashLeftoverBound;
    }
    if (state.ended && millisecondsLeft(state) == 0) state.leftover = true;
    if (state.leftover) return 0;
    pollfd output{state.descriptor, POLLIN, 0};
    int ready = poll(&output, 1, state.ended ? millisecondsLeft(state) : flashLookMilliseconds);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    ssize_t count = read(state.descriptor, into, size);
    if (count < 0 && errno == EINTR) continue;
    return count > 0 ? static_cast<std::size_t>(count) : 0;
  }
}

// Called only when every byte read before is handed out: the command may not have printed
// more yet, so what the program wrote must be on the console before it waits.
std::size_t readPipe(void* source, char* into, std::size_t size) {
  auto& state = *static_cast<RunningCommand*>(source);
  std::fflush(stdout);
  if (state.flash) return readFlashPipe(state, into, size);
  if (state.timedOut) return 0;
  if (state.limited && !waitForOutput(state)) {
    endCommandGroup(state);
    return 0;
  }
  // At the cap one more byte is asked for, to tell an output that ends there from one that
  // goes on.
  std::size_t room = state.limited ? queryOutputCap - state.received : size;
  bool atCap = state.limited && room == 0;
  char spare;
  for (;;) {
    ssize_t count = atCap ? read(state.descriptor, &spare, 1)
                          : read(state.descriptor, into, room < size ? room : size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return 0;
    if (!atCap) {
      state.received += static_cast<std::size_t>(count);
      return static_cast<std::size_t>(count);
    }
    state.capped = true;
    endCommandGroup(state);
    return 0;
  }
}

// What is left of an unlimited command's output is read to its end (a flash's to its bound),
// whatever the reader did with it: a closed pipe would end a flash at its next write, in the
// middle of the firmware write.
void drainOutput(RunningCommand& state) {
  char discarded[4096];
  for (;;) {
    ssize_t count = state.flash
                        ? static_cast<ssize_t>(readFlashPipe(state, discarded, sizeof discarded))
                        : read(state.descriptor, discarded, sizeof discarded);
    if (count == 0 || (count < 0 && errno != EINTR)) return;
  }
}

// A command may close its output and still run on: the time limit holds for its end too.
void waitForLimitedChild(RunningCommand& state) {
  pid_t result = 0;
  for (;;) {
    waitForChild(state, WNOHANG, result);
    if (result != 0) return;
    if (millisecondsLeft(state) == 0) break;
    timespec step{0, 5 * 1000 * 1000};
    nanosleep(&step, nullptr);
  }
  endCommandGroup(state);
  waitForChild(state, 0, result);
}

void waitForEnd(RunningCommand& state) {
  if (state.ended) return;
  if (state.limited) {
    waitForLimitedChild(state);
  } else {
    drainOutput(state);
    pid_t result = 0;
    waitForChild(state, 0, result);
  }
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
  bool flash = role == CommandRole::flash;
  command.flash = flash;
  command.limited = !flash && timeLimit > TimeLimit::zero();
  command.deadline = Clock::now() + timeLimit;
  command.descriptor =
      spawnShell(commandLine, workingFolder, command.limited, flash, command.child);
  // Read past stdio, so that the program knows when a read may wait.
  command.buffer.source = &command;
  command.buffer.read = readPipe;
}

CommandPipe::~CommandPipe() {
  RunningCommand& command = state->command;
  if (command.descriptor < 0) return;
  std::fflush(stdout);
  if (command.limited) {
    close(command.descriptor);
    if (!command.ended) waitForLimitedChild(command);
  } else {
    waitForEnd(command);
    close(command.descriptor);
  }
}

bool CommandPipe::isOpen() const { return state->command.descriptor >= 0; }

bool CommandPipe::readChunk(std::string& chunk) {
  return isOpen() && nextPipeChunk(state->command.buffer, chunk);
}

bool CommandPipe::timedOut() const { return state->command.timedOut; }

bool CommandPipe::outputCapped() const { return state->command.capped; }

bool CommandPipe::leftBehind() {
  RunningCommand& command = state->command;
  if (!isOpen() || !command.flash) return false;
  waitForEnd(command);
  return command.leftover;
}

bool CommandPipe::commandNotFound() {
  RunningCommand& command = state->command;
  if (!isOpen() || command.timedOut) return false;
  waitForEnd(command);
  int status = command.status;
  return WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
}

void pauseMilliseconds(unsigned milliseconds) {
  std::fflush(stdout);
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000 * 1000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
