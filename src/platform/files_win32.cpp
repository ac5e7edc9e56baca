// Files on Windows, through the C runtime's own text and binary modes.
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <fstream>

#include "platform/platform.h"

namespace platform {

struct InputFile::State {
  std::ifstream stream;
};

InputFile::InputFile(const std::string& path, FileMode mode) : state(new State) {
  state->stream.open(path, mode == FileMode::raw ? std::ios::in | std::ios::binary : std::ios::in);
}

InputFile::~InputFile() = default;

bool InputFile::isOpen() const { return state->stream.is_open(); }

bool InputFile::readLine(std::string& line) {
  return state->stream.is_open() && static_cast<bool>(std::getline(state->stream, line));
}

struct OutputFile::State {
  FILE* stream = nullptr;
  WriteMethod method = WriteMethod::inPlace;
  std::string path;
  std::string writtenPath;
  bool failed = false;
  bool committed = false;
};

OutputFile::OutputFile(const std::string& path, FileMode mode, WriteMethod method)
    : state(new State) {
  state->method = method;
  state->path = path;
  state->writtenPath = method == WriteMethod::replace ? path + ".tmp" : path;
  state->stream = std::fopen(state->writtenPath.c_str(), mode == FileMode::raw ? "wb" : "w");
}

OutputFile::~OutputFile() {
  if (state->stream != nullptr) std::fclose(state->stream);
  if (!state->committed && state->method == WriteMethod::replace && state->stream != nullptr) {
    std::remove(state->writtenPath.c_str());
  }
}

bool OutputFile::isOpen() const { return state->stream != nullptr; }

bool OutputFile::write(std::string_view bytes) {
  if (state->stream == nullptr || state->failed) return false;
  state->failed = std::fwrite(bytes.data(), 1, bytes.size(), state->stream) != bytes.size();
  return !state->failed;
}

bool OutputFile::commit() {
  if (state->stream == nullptr) return false;
  bool ok = !state->failed && std::fflush(state->stream) == 0 && !std::ferror(state->stream);
  // The stamp must survive the reboot that follows an update, so it reaches the disk first.
  if (ok && state->method == WriteMethod::replace) ok = _commit(_fileno(state->stream)) == 0;
  ok = std::fclose(state->stream) == 0 && ok;
  state->stream = nullptr;
  if (state->method == WriteMethod::replace) {
    ok = ok && MoveFileExA(state->writtenPath.c_str(), state->path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) std::remove(state->writtenPath.c_str());
  }
  state->committed = ok;
  return ok;
}

bool changeWorkingFolder(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

std::optional<std::vector<std::string>> filesInFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  bool endsInSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
  std::string pattern = path + (endsInSeparator ? "*" : "\\*");
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

}  // namespace platform
