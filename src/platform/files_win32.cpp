// Files on Windows, through the C runtime's own text and binary modes.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <ntsecapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/output_file.h"
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

OutputFile::OutputFile(const std::string& path, FileMode mode, WriteMethod method)
    : state(new State) {
  state->mode = mode;
  state->method = method;
  state->path = path;
  state->writtenPath = path;
  if (method == WriteMethod::inPlace) {
    state->stream = std::fopen(path.c_str(), mode == FileMode::raw ? "wb" : "w");
  } else {
    state->stream = openTemporarySibling(state->path, mode, state->writtenPath);
  }
}

bool OutputFile::write(std::string_view bytes) {
  if (state->stream == nullptr || state->failed) return false;
  state->failed = std::fwrite(bytes.data(), 1, bytes.size(), state->stream) != bytes.size();
  return !state->failed;
}

FILE* createNewFile(const std::string& path, FileMode mode) {
  // CREATE_NEW fails on any name that is taken, a link included, without following it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  bool raw = mode == FileMode::raw;
  int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | (raw ? _O_BINARY : _O_TEXT));
  if (descriptor < 0) {
    CloseHandle(file);
    DeleteFileA(path.c_str());
    return nullptr;
  }
  FILE* stream = _fdopen(descriptor, raw ? "wb" : "w");
  if (stream == nullptr) {
    _close(descriptor);
    DeleteFileA(path.c_str());
  }
  return stream;
}

std::string randomHexDigits() {
  unsigned char bytes[8] = {};
  if (!RtlGenRandom(bytes, sizeof bytes)) {
    // Without the system's randomness a name is still made new, only more easily guessed.
    ULONGLONG ticks = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 32);
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
      bytes[i] = static_cast<unsigned char>(ticks >> (8 * i));
    }
  }
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

bool syncToDisk(FILE* stream) { return _commit(_fileno(stream)) == 0; }

namespace {

// A virus scanner or an indexer may hold a file for a moment: the answer is then one of these.
bool heldForAMoment(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

template <typename Attempt>
bool tryWhileHeld(bool retried, Attempt attempt) {
  ULONGLONG deadline = GetTickCount64() + replaceRetryMilliseconds;
  for (;;) {
    if (attempt()) return true;
    if (!retried || !heldForAMoment(GetLastError()) || GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
}

bool flushExisting(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool flushed = FlushFileBuffers(file) != FALSE;
  CloseHandle(file);
  return flushed;
}

}  // namespace

bool moveOver(const std::string& from, const std::string& to, bool retried) {
  return tryWhileHeld(retried, [&] {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  });
}

// MOVEFILE_WRITE_THROUGH promises a flush only for a move done as a copy and a delete; a
// rename reaches the disk with the next flush of the file it names.
bool syncMove(const std::string& to, bool retried) {
  return tryWhileHeld(retried, [&] { return flushExisting(to); });
}

void removeStaleTemporaries(const std::string& path) {
  std::size_t separator = path.find_last_of("\\/");
  std::string folder = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + temporaryMark + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER oldest{{now.dwLowDateTime, now.dwHighDateTime}};
  oldest.QuadPart -= 60ULL * 10000000ULL;  // a minute in 100-nanosecond steps
  do {
    ULARGE_INTEGER written{
        {found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        written.QuadPart < oldest.QuadPart) {
      DeleteFileA((folder + found.cFileName).c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
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

namespace {

bool isDots(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

std::string withSeparator(const std::string& path) {
  bool endsInSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
  return endsInSeparator ? path : path + "\\";
}

}  // namespace

std::optional<std::vector<std::string>> foldersInFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((withSeparator(path) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> names;
  do {
    DWORD attributes = found.dwFileAttributes;
    // A junction or a symbolic link to a folder is not one of ours.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !isDots(found.cFileName)) {
      names.push_back(found.cFileName);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

bool removeOwnFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  std::string folder = withSeparator(path);
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    DWORD attributes = found.dwFileAttributes;
    std::string inside = folder + found.cFileName;
    // A reparse point is removed itself, never followed; a real folder inside is left alone.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileA(inside.c_str());
    } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      RemoveDirectoryA(inside.c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return RemoveDirectoryA(path.c_str()) != 0;
}

std::optional<FilePart> readFilePart(const std::string& path, std::uint64_t offset,
                                     std::uint64_t limit) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file.is_open()) return std::nullopt;
  FilePart part;
  part.size = static_cast<std::uint64_t>(file.tellg());
  std::uint64_t start = offset < part.size ? offset : part.size;
  std::uint64_t count = part.size - start < limit ? part.size - start : limit;
  file.seekg(static_cast<std::streamoff>(start));
  part.bytes.resize(static_cast<std::size_t>(count));
  if (!file.read(part.bytes.data(), static_cast<std::streamsize>(count))) return std::nullopt;
  return part;
}

}  // namespace platform
