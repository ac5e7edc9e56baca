#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/file_opens.h"
#include "platform/platform.h"
#include "platform/posix_paths.h"

extern char** environ;

namespace platform {

std::optional<int> consoleStartAttributes() {
  // A POSIX terminal cannot report its colours; the installer then uses fixed ones.
  return std::nullopt;
}

namespace {

// Windows attribute colours list blue, green, red; ANSI lists red, green, blue.
int ansiColour(int windowsColour) {
  return ((windowsColour & 4) ? 1 : 0) | ((windowsColour & 2) ? 2 : 0) |
         ((windowsColour & 1) ? 4 : 0);
}

std::string ansiSequence(int attribute) {
  if (attribute == 7) return "\033[0m";  // the terminal's own colours
  int foreground = attribute & 15;
  int background = (attribute >> 4) & 15;
  std::string sequence =
      "\033[0;" + std::to_string(((foreground & 8) ? 90 : 30) + ansiColour(foreground));
  if (background != 0) {
    sequence += ";" + std::to_string(((background & 8) ? 100 : 40) + ansiColour(background));
  }
  return sequence + "m";
}

}  // namespace

void setConsoleAttribute(int attribute) {
  // Colour codes would corrupt redirected output, so only a terminal gets them. Every message
  // sets its colour, and standard output stays what it was at start, so it is asked once.
  static const bool terminal = isatty(STDOUT_FILENO) != 0;
  if (!terminal) return;
  writeOutput(ansiSequence(attribute));
}

void writeOutput(std::string_view text, Flush flush) {
  // The program writes from one thread only, so the stream's lock is of no use.
  fwrite_unlocked(text.data(), 1, text.size(), stdout);
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

namespace {

// Parses "Timeout /T n" in any letter case; -1 for any other command.
long pauseSeconds(const std::string& commandLine) {
  static const char prefix[] = "timeout /t ";
  const std::size_t prefixLength = sizeof prefix - 1;
  if (commandLine.size() <= prefixLength) return -1;
  for (std::size_t i = 0; i < prefixLength; ++i) {
    char c = commandLine[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return -1;
  }
  long seconds = 0;
  for (std::size_t i = prefixLength; i < commandLine.size(); ++i) {
    char c = commandLine[i];
    if (c < '0' || c > '9' || seconds > 100000) return -1;
    seconds = seconds * 10 + (c - '0');
  }
  return seconds;
}

// Like Windows' timeout: with input redirected it returns at once; on a terminal it waits
// for the time or a key press, without echoing the key or waiting for a line end.
void pause(long seconds) {
  if (!isatty(STDIN_FILENO)) return;
  termios saved{};
  bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (restore) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  writeOutput("\nWaiting for " + std::to_string(seconds) +
              " seconds, press a key to continue ...\n");
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, static_cast<int>(seconds * 1000)) > 0) {
    char key;
    if (read(STDIN_FILENO, &key, 1) < 0) key = 0;
  }
  if (restore) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string folders = path;
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (folder.empty()) folder = ".";
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

void runAndWait(const std::string& commandLine) {
  long seconds = pauseSeconds(commandLine);
  if (seconds >= 0) {
    pause(seconds);
    return;
  }
  std::fflush(stdout);
  int ignored = std::system(toPosixSeparators(commandLine).c_str());
  (void)ignored;
}

void openDocument(const std::string& fileName) {
  if (!onPath("xdg-open")) return;
  std::fflush(stdout);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  std::string document = toPosixSeparators(fileName);
  char* argv[] = {program.data(), document.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "xdg-open", &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    waitpid(child, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> systemProgram(SystemProgram program) {
  // The stand-ins are found as a shell finds them: wmic along PATH, the restart command at its
  // Windows path taken as a relative one; runAndWait pauses itself for "Timeout".
  if (program == SystemProgram::wmic) return std::string("wmic");
  if (program == SystemProgram::timeout) return std::string("Timeout");
  return std::string("c:\\windows\\system32\\shutdown");
}

// The stand-ins run where the program runs: the tests' Kitbox.
std::string systemProgramsFolder() { return ""; }

// Programs carry no signatures here.
Signature checkProgramSignature(const std::string&) { return {}; }

// Device drivers are a Windows matter: a POSIX host reports none.
struct DeviceDrivers::State {};

DeviceDrivers::DeviceDrivers() : state(new State) {}
DeviceDrivers::~DeviceDrivers() = default;
bool DeviceDrivers::selectDevice(unsigned) { return false; }
bool DeviceDrivers::buildDriverList() { return false; }
bool DeviceDrivers::selectDriver(unsigned, std::u16string&) { return false; }
bool DeviceDrivers::driverInfPath(std::u16string&) { return false; }

namespace {

void ignoreSignal(int) {}

}  // namespace

// A closed standard output (a pipe into "head", a closed terminal) must not end the program in
// the middle of a flash: writes to it then fail with EPIPE, silently, as on Windows. A handler
// that does nothing, not SIG_IGN: an ignored signal stays ignored in the tools the program
// starts, which must still end as usual when their reader goes away.
void prepareProcess() {
  struct sigaction action {};
  action.sa_handler = ignoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
}

namespace {

// The signals a terminal sends when it closes or a key interrupts, and what they did before.
constexpr int stayedSignals[] = {SIGHUP, SIGINT, SIGQUIT};

struct StayedHandling {
  bool staying = false;
  struct sigaction previous[3] = {};
};

StayedHandling& stayedHandling() {
  static StayedHandling handling;
  return handling;
}

}  // namespace

void stayThroughFlash() {
  StayedHandling& handling = stayedHandling();
  if (handling.staying) return;
  handling.staying = true;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (std::size_t i = 0; i < 3; ++i) {
    sigaction(stayedSignals[i], &ignore, &handling.previous[i]);
  }
}

void endStayThroughFlash() {
  StayedHandling& handling = stayedHandling();
  if (!handling.staying) return;
  handling.staying = false;
  for (std::size_t i = 0; i < 3; ++i) {
    sigaction(stayedSignals[i], &handling.previous[i], nullptr);
  }
}

int processExitStatus(int exitCode) {
  int status = exitCode & 0xFF;
  return (status == 0 && exitCode != 0) ? 255 : status;
}

// Only the scripted platform counts what is read.
void noteFileOpened(const std::string&) {}

}  // namespace platform
