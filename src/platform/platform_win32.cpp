#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/platform.h"

namespace platform {

std::optional<int> consoleStartAttributes() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  return static_cast<int>(info.wAttributes);
}

void setConsoleAttribute(int attribute) {
  SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<WORD>(attribute));
}

void writeOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool readInputWord(std::string& word) {
  std::fflush(stdout);
  return static_cast<bool>(std::cin >> word);
}

struct CommandPipe::State {
  FILE* stream = nullptr;
};

CommandPipe::CommandPipe(const std::string& commandLine) : state(new State) {
  std::fflush(stdout);  // the child's output must not overtake ours
  state->stream = _popen(commandLine.c_str(), "rb");
}

CommandPipe::~CommandPipe() {
  if (state->stream != nullptr) _pclose(state->stream);
}

bool CommandPipe::isOpen() const { return state->stream != nullptr; }

bool CommandPipe::readChunk(std::string& chunk) {
  char buffer[128];
  if (state->stream == nullptr || std::fgets(buffer, sizeof buffer, state->stream) == nullptr) {
    return false;
  }
  chunk.assign(buffer, std::strlen(buffer));
  return true;
}

void runAndWait(const std::string& commandLine) {
  std::fflush(stdout);
  int ignored = std::system(commandLine.c_str());
  (void)ignored;
}

void openDocument(const std::string& fileName) {
  ShellExecuteA(nullptr, "open", fileName.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void prepareProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

int processExitStatus(int exitCode) { return exitCode; }

}  // namespace platform
