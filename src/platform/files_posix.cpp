// Files on POSIX, emulating the Windows runtime's text mode so that logs and reports are
// byte-identical on both builds.
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "platform/output_file.h"
#include "platform/platform.h"
#include "platform/posix_paths.h"

namespace platform {

struct InputFile::State {
  std::ifstream stream;
  FileMode mode = FileMode::text;
};

InputFile::InputFile(const std::string& path, FileMode mode) : state(new State) {
  state->mode = mode;
  std::string posixPath = toPosixSeparators(path);
  struct stat info {};
  // Windows cannot open a folder as a file; POSIX could, and would only fail on reading.
  if (stat(posixPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
  state->stream.open(posixPath, std::ios::binary);
}

InputFile::~InputFile() = default;

bool InputFile::isOpen() const { return state->stream.is_open(); }

bool InputFile::readLine(std::string& line) {
  if (!state->stream.is_open() || !std::getline(state->stream, line)) return false;
  if (state->mode == FileMode::text && !state->stream.eof() && !line.empty() &&
      line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

OutputFile::OutputFile(const std::string& path, FileMode mode, WriteMethod method)
    : state(new State) {
  state->mode = mode;
  state->method = method;
  state->path = toPosixSeparators(path);
  state->writtenPath = state->path;
  if (method == WriteMethod::inPlace) {
    state->stream = std::fopen(state->path.c_str(), "wb");
  } else {
    state->stream = openTemporarySibling(state->path, mode, state->writtenPath);
  }
}

bool OutputFile::write(std::string_view bytes) {
  if (state->stream == nullptr || state->failed) return false;
  if (state->mode == FileMode::raw) {
    state->failed = std::fwrite(bytes.data(), 1, bytes.size(), state->stream) != bytes.size();
    return !state->failed;
  }
  std::size_t start = 0;
  while (start < bytes.size() && !state->failed) {
    std::size_t end = bytes.find('\n', start);
    std::size_t count = (end == std::string_view::npos ? bytes.size() : end) - start;
    state->failed = std::fwrite(bytes.data() + start, 1, count, state->stream) != count;
    if (end == std::string_view::npos) break;
    state->failed = state->failed || std::fwrite("\r\n", 1, 2, state->stream) != 2;
    start = end + 1;
  }
  return !state->failed;
}

// Text mode is the emulation in OutputFile::write, so the stream itself is always binary.
FILE* createNewFile(const std::string& path, FileMode) {
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  FILE* stream = fdopen(descriptor, "wb");
  if (stream == nullptr) {
    close(descriptor);
    unlink(path.c_str());
  }
  return stream;
}

std::string randomHexDigits() {
  unsigned char bytes[8] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Without the system's randomness a name is still made new, only more easily guessed.
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
      bytes[i] = static_cast<unsigned char>((ticks >> (8 * i)) ^ getpid());
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

bool syncToDisk(FILE* stream) { return fsync(fileno(stream)) == 0; }

bool moveOver(const std::string& from, const std::string& to, bool) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// A rename is an entry of the folder: only the folder's sync puts it on the disk.
bool syncMove(const std::string& to, bool) {
  int folder = open(folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  bool synced = fsync(folder) == 0;
  return close(folder) == 0 && synced;
}

void removeStaleTemporaries(const std::string& path) {
  std::string folder = folderOf(path);
  std::size_t slash = path.rfind('/');
  std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + temporaryMark;
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  time_t oldest = time(nullptr) - 60;
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string inside = folder + "/" + name;
    struct stat info {};
    if (lstat(inside.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && info.st_mtime < oldest) {
      unlink(inside.c_str());
    }
  }
  closedir(directory);
}

bool changeWorkingFolder(const std::string& path) {
  return chdir(toPosixSeparators(path).c_str()) == 0;
}

namespace {

// The names in a folder whose lstat or stat, as `followLinks` says, passes `wanted`.
template <typename Wanted>
std::optional<std::vector<std::string>> namesInFolder(const std::string& path, bool followLinks,
                                                      Wanted wanted) {
  std::string folder = toPosixSeparators(path);
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* entry = readdir(directory)) {
    struct stat info {};
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string inside = folder + "/" + name;
    int found = followLinks ? stat(inside.c_str(), &info) : lstat(inside.c_str(), &info);
    if (found == 0 && wanted(info.st_mode)) names.push_back(name);
  }
  closedir(directory);
  return names;
}

}  // namespace

std::optional<std::vector<std::string>> filesInFolder(const std::string& path) {
  return namesInFolder(path, true, [](mode_t mode) { return S_ISREG(mode); });
}

std::optional<std::vector<std::string>> foldersInFolder(const std::string& path) {
  // A link to a folder is not one of ours.
  return namesInFolder(path, false, [](mode_t mode) { return S_ISDIR(mode); });
}

bool removeOwnFolder(const std::string& path) {
  std::string folder = toPosixSeparators(path);
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return false;
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    struct stat info {};
    std::string inside = folder + "/" + name;
    // A link is unlinked itself; a folder inside is none of ours and stays.
    if (name != "." && name != ".." && lstat(inside.c_str(), &info) == 0 &&
        !S_ISDIR(info.st_mode)) {
      unlink(inside.c_str());
    }
  }
  closedir(directory);
  return rmdir(folder.c_str()) == 0;
}

std::optional<FilePart> readFilePart(const std::string& path, std::uint64_t offset,
                                     std::uint64_t limit) {
  std::ifstream file(toPosixSeparators(path), std::ios::binary | std::ios::ate);
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
