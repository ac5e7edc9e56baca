// Files on Windows, through the C runtime's own text and binary modes.
// rand_s is declared only with this set before the runtime's headers.
#define _CRT_RAND_S
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <ntsecapi.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/file_opens.h"
#include "platform/files_win32.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace platform {

struct InputFile::State {
  std::ifstream stream;
};

InputFile::InputFile(const std::string& path, FileMode mode) : state(new State) {
  noteFileOpened(path);
  state->stream.open(path, mode == FileMode::raw ? std::ios::in | std::ios::binary : std::ios::in);
}

InputFile::~InputFile() = default;

bool InputFile::isOpen() const { return state->stream.is_open(); }

bool InputFile::readLine(std::string& line) {
  return state->stream.is_open() && static_cast<bool>(std::getline(state->stream, line));
}

std::wstring widePath(const std::string& path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return L"";
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

bool isLinkTag(DWORD reparseTag) { return IsReparseTagNameSurrogate(reparseTag); }

namespace {

// What the handle is: its attributes and, for a reparse point, its tag.
bool readTag(HANDLE file, FILE_ATTRIBUTE_TAG_INFO& tag) {
  return GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) != FALSE;
}

bool isLink(const FILE_ATTRIBUTE_TAG_INFO& tag) {
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkTag(tag.ReparseTag);
}

// Opens a file for writing, made when missing, never through a link: a log is written in the
// Kitbox, which others may write, by a program with all rights. The name itself is opened, not
// what a link points to; a link, a second name of another file, a folder or a device is let
// go again untouched, and only a plain file is truncated.
FILE* openPlainFile(const std::string& path, FileMode mode) {
  HANDLE file =
      CreateFileW(widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  BY_HANDLE_FILE_INFORMATION info{};
  bool plain = GetFileType(file) == FILE_TYPE_DISK && readTag(file, tag) && !isLink(tag) &&
               (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
               GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
  if (!plain || !SetEndOfFile(file)) {
    CloseHandle(file);
    return nullptr;
  }
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                   mode == FileMode::raw ? _O_BINARY : _O_TEXT);
  if (descriptor < 0) {
    CloseHandle(file);
    return nullptr;
  }
  FILE* stream = _fdopen(descriptor, mode == FileMode::raw ? "wb" : "w");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, FileMode mode, WriteMethod method)
    : state(new State) {
  state->mode = mode;
  state->method = method;
  state->path = path;
  state->writtenPath = path;
  if (method == WriteMethod::inPlace) {
    state->stream = openPlainFile(path, mode);
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

std::optional<std::vector<FolderEntry>> folderEntries(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((withSeparator(path) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<FolderEntry> entries;
  do {
    DWORD attributes = found.dwFileAttributes;
    if (isDots(found.cFileName)) continue;
    EntryKind kind = EntryKind::file;
    if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
      kind = EntryKind::other;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      kind = EntryKind::folder;
    }
    entries.push_back({found.cFileName, kind});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
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

namespace {

std::vector<HANDLE>& heldFiles() {
  static std::vector<HANDLE> files;
  return files;
}

}  // namespace

void holdFile(HANDLE file) { heldFiles().push_back(file); }

void letGoOfHeldFiles() {
  for (HANDLE file : heldFiles()) {
    CloseHandle(file);
  }
  heldFiles().clear();
}

std::string lastSystemError() {
  DWORD code = GetLastError();
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  // One line, and without the full stop the messages that quote it bring themselves.
  std::replace(message.begin(), message.end(), '\r', ' ');
  std::replace(message.begin(), message.end(), '\n', ' ');
  while (!message.empty() && (message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

std::string randomName(std::size_t length) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name;
  while (name.size() < length) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) continue;
    if (value < 4294967292u) name += letters[value % 36];  // 4294967292 = 36 * 119304647: no bias
  }
  return name;
}

bool makeStageSubfolder(const std::string& path) {
  // Inherits the stage's rights.
  return CreateDirectoryW(widePath(path).c_str(), nullptr) != FALSE;
}

namespace {

bool removeTree(const std::wstring& folder) {
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  bool emptied = true;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring inside = folder + L"\\" + name;
      bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      bool isReparse = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (!isReparse) SetFileAttributesW(inside.c_str(), FILE_ATTRIBUTE_NORMAL);
      bool removed;
      if (isFolder && !isReparse) {
        removed = removeTree(inside);
      } else if (isFolder) {
        // A junction or a link to a folder: the link goes, what it points to stays.
        removed = RemoveDirectoryW(inside.c_str()) != FALSE;
      } else {
        removed = DeleteFileW(inside.c_str()) != FALSE;
      }
      emptied = removed && emptied;
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return emptied && RemoveDirectoryW(folder.c_str()) != FALSE;
}

}  // namespace

bool removeFolderTree(const std::string& path) { return removeTree(widePath(path)); }

namespace {

FileCopy failedCopy(FileCopy copy) {
  copy.outcome = CopyOutcome::failed;
  copy.problem = lastSystemError();
  return copy;
}

// Copies at most `limit` bytes; false when a read or write failed or there were more.
bool copyBytes(HANDLE from, HANDLE to, std::uint64_t limit, FileCopy& copy) {
  std::vector<char> buffer(64 * 1024);
  std::uint64_t total = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr)) {
      return false;
    }
    if (count == 0) return true;
    total += count;
    if (total > limit) {  // it grew while it was copied
      copy.outcome = CopyOutcome::tooLarge;
      copy.size = total;
      return false;
    }
    if (copy.firstBytes.size() < 2) {
      copy.firstBytes.append(buffer.data(),
                             std::min<std::size_t>(count, 2 - copy.firstBytes.size()));
    }
    DWORD written = 0;
    if (!WriteFile(to, buffer.data(), count, &written, nullptr) || written != count) return false;
  }
}

// The source, opened as the name itself (a reparse point is not followed), with writing denied
// while it is copied, so that the copy is of one version of it.
HANDLE openSource(const std::string& source, FileCopy& copy) {
  HANDLE from =
      CreateFileW(widePath(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (from == INVALID_HANDLE_VALUE) {
    copy = failedCopy(copy);
    return from;
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  LARGE_INTEGER size{};
  if (!readTag(from, tag) || !GetFileSizeEx(from, &size)) {
    copy = failedCopy(copy);
  } else if (isLink(tag)) {
    copy.outcome = CopyOutcome::link;
  } else if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
             GetFileType(from) != FILE_TYPE_DISK) {
    copy.outcome = CopyOutcome::failed;
    copy.problem = "not a file";
  } else {
    copy.size = static_cast<std::uint64_t>(size.QuadPart);
    return from;
  }
  CloseHandle(from);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

FileCopy copyFileNoLinks(const std::string& source, const std::string& target,
                         std::uint64_t limit) {
  noteFileOpened(source);
  FileCopy copy;
  HANDLE from = openSource(source, copy);
  if (from == INVALID_HANDLE_VALUE) return copy;
  if (copy.size > limit) {
    CloseHandle(from);
    copy.outcome = CopyOutcome::tooLarge;
    return copy;
  }
  std::wstring wideTarget = widePath(target);
  HANDLE to = CreateFileW(wideTarget.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (to == INVALID_HANDLE_VALUE) {
    copy = failedCopy(copy);
    CloseHandle(from);
    return copy;
  }
  bool copied = copyBytes(from, to, limit, copy);
  if (!copied && copy.outcome != CopyOutcome::tooLarge) copy = failedCopy(copy);
  CloseHandle(to);
  CloseHandle(from);
  if (!copied) return copy;
  // Held from now on with reading shared and writing and deleting denied to everyone.
  HANDLE held = CreateFileW(wideTarget.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return failedCopy(copy);
  holdFile(held);
  copy.outcome = CopyOutcome::copied;
  return copy;
}

FileCopy inspectFileNoLinks(const std::string& source) {
  noteFileOpened(source);
  FileCopy found;
  HANDLE from = openSource(source, found);
  if (from == INVALID_HANDLE_VALUE) return found;
  char start[2];
  DWORD count = 0;
  if (ReadFile(from, start, sizeof start, &count, nullptr)) {
    found.outcome = CopyOutcome::copied;
    found.firstBytes.assign(start, count);
  } else {
    found = failedCopy(found);
  }
  CloseHandle(from);
  return found;
}

std::optional<FilePart> readFilePart(const std::string& path, std::uint64_t offset,
                                     std::uint64_t limit) {
  noteFileOpened(path);
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

namespace {

const DWORD notRegularAttributes =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

}  // namespace

struct RegularFile::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FileOpening opening = FileOpening::failed;
  std::uint64_t size = 0;
};

RegularFile::RegularFile(const std::string& path) : state(new State) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      state->opening = FileOpening::missing;
    }
    return;
  }
  state->opening = FileOpening::notRegular;
  if ((attributes & notRegularAttributes) != 0) return;
  noteFileOpened(path);
  // The reparse point itself, never what it points to, should one be put in the file's place
  // between the look and the opening.
  HANDLE handle = CreateFileA(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    state->opening = FileOpening::failed;
    return;
  }
  state->handle = handle;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & notRegularAttributes) != 0) {
    return;
  }
  state->opening = FileOpening::opened;
  state->size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

RegularFile::~RegularFile() {
  if (state->handle != INVALID_HANDLE_VALUE) CloseHandle(state->handle);
}

FileOpening RegularFile::opening() const { return state->opening; }

std::uint64_t RegularFile::size() const { return state->size; }

bool RegularFile::read(std::string& bytes, std::size_t limit) {
  bytes.clear();
  if (state->opening != FileOpening::opened || limit == 0) return false;
  DWORD wanted = limit > 0x40000000 ? 0x40000000 : static_cast<DWORD>(limit);
  bytes.resize(wanted);
  DWORD count = 0;
  bool read = ReadFile(state->handle, bytes.data(), wanted, &count, nullptr) != 0;
  bytes.resize(read ? count : 0);
  return read && count > 0;
}

}  // namespace platform
