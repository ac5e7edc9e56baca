// Files on POSIX, emulating the Windows runtime's text mode so that logs and reports are
// byte-identical on both builds.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/file_opens.h"
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
  noteFileOpened(path);
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

namespace {

// Opens a file for writing, made when missing, never through a link: a log is written in the
// Kitbox, which others may write, by a program with all rights. Non-blocking, so that a FIFO
// planted in its place cannot hold the run; only a plain file with one name is truncated.
FILE* openPlainFile(const std::string& path) {
  int descriptor =
      open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (descriptor < 0) return nullptr;
  struct stat info {};
  bool plain = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
  if (!plain || ftruncate(descriptor, 0) != 0 ||
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(descriptor);
    return nullptr;
  }
  FILE* stream = fdopen(descriptor, "wb");
  if (stream == nullptr) close(descriptor);
  return stream;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, FileMode mode, WriteMethod method)
    : state(new State) {
  state->mode = mode;
  state->method = method;
  state->path = toPosixSeparators(path);
  state->writtenPath = state->path;
  if (method == WriteMethod::inPlace) {
    state->stream = openPlainFile(state->path);
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

std::optional<std::vector<FolderEntry>> folderEntries(const std::string& path) {
  std::vector<FolderEntry> entries;
  std::optional<std::vector<std::string>> names = namesInFolder(path, false, [&](mode_t mode) {
    entries.push_back({"", S_ISREG(mode)   ? EntryKind::file
                           : S_ISDIR(mode) ? EntryKind::folder
                                           : EntryKind::other});
    return true;
  });
  if (!names) return std::nullopt;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = (*names)[i];
  }
  return entries;
}

std::optional<std::vector<std::string>> filesInFolder(const std::string& path) {
  return namesInFolder(path, true, [](mode_t mode) { return S_ISREG(mode); });
}

std::optional<std::vector<std::string>> foldersInFolder(const std::string& path) {
  // A link to a folder is not one of ours.
  return namesInFolder(path, false, [](mode_t mode) { return S_ISDIR(mode); });
}

namespace {

// Removes what a folder holds, by descriptor, so that nothing renamed under it is followed.
bool emptyFolderAt(int folder) {
  DIR* directory = fdopendir(folder);
  if (directory == nullptr) {
    close(folder);
    return false;
  }
  bool emptied = true;
  while (dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (fstatat(dirfd(directory), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      emptied = false;
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      int inner =
          openat(dirfd(directory), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      bool inside = inner >= 0 && emptyFolderAt(inner);
      emptied = inside && unlinkat(dirfd(directory), name.c_str(), AT_REMOVEDIR) == 0 && emptied;
    } else {
      emptied = unlinkat(dirfd(directory), name.c_str(), 0) == 0 && emptied;
    }
  }
  closedir(directory);
  return emptied;
}

}  // namespace

bool removeFolderTree(const std::string& path) {
  std::string folder = toPosixSeparators(path);
  int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) return false;
  bool emptied = emptyFolderAt(descriptor);
  return emptied && rmdir(folder.c_str()) == 0;
}

bool makeStageSubfolder(const std::string& path) {
  return mkdir(toPosixSeparators(path).c_str(), 0700) == 0;
}

std::string lastSystemError() { return std::strerror(errno); }

// Nothing is held open on POSIX: the stage is the user's own, mode 0700.
void letGoOfHeldFiles() {}

std::string randomName(std::size_t length) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name;
  while (name.size() < length) {
    unsigned char bytes[32];
    ssize_t count = getrandom(bytes, sizeof bytes, 0);
    for (ssize_t i = 0; i < count && name.size() < length; ++i) {
      if (bytes[i] < 252) name += letters[bytes[i] % 36];  // 252 = 7 * 36: no bias
    }
  }
  return name;
}

namespace {

FileCopy failedCopy(FileCopy copy) {
  copy.outcome = CopyOutcome::failed;
  copy.problem = lastSystemError();
  return copy;
}

// Copies at most `limit` bytes; false when a read or write failed or there were more.
bool copyBytes(int from, int to, std::uint64_t limit, FileCopy& copy) {
  char buffer[64 * 1024];
  std::uint64_t total = 0;
  for (;;) {
    ssize_t count = read(from, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (count == 0) return true;
    total += static_cast<std::uint64_t>(count);
    if (total > limit) {  // it grew while it was copied
      copy.outcome = CopyOutcome::tooLarge;
      copy.size = total;
      return false;
    }
    if (copy.firstBytes.size() < 2) {
      copy.firstBytes.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(count),
                                                           2 - copy.firstBytes.size()));
    }
    if (write(to, buffer, static_cast<std::size_t>(count)) != count) return false;
  }
}

}  // namespace

FileCopy copyFileNoLinks(const std::string& source, const std::string& target,
                         std::uint64_t limit) {
  noteFileOpened(source);
  FileCopy copy;
  int from =
      open(toPosixSeparators(source).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (from < 0) {
    if (errno == ELOOP) copy.outcome = CopyOutcome::link;
    return errno == ELOOP ? copy : failedCopy(copy);
  }
  struct stat info {};
  if (fstat(from, &info) != 0 || !S_ISREG(info.st_mode)) {
    copy = failedCopy(copy);
    if (S_ISREG(info.st_mode) == 0) copy.problem = "not a file";
    close(from);
    return copy;
  }
  copy.size = static_cast<std::uint64_t>(info.st_size);
  if (copy.size > limit) {
    close(from);
    copy.outcome = CopyOutcome::tooLarge;
    return copy;
  }
  int to = open(toPosixSeparators(target).c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (to < 0) {
    copy = failedCopy(copy);
    close(from);
    return copy;
  }
  bool copied = copyBytes(from, to, limit, copy);
  if (!copied && copy.outcome != CopyOutcome::tooLarge) copy = failedCopy(copy);
  if (close(to) != 0 && copied) {
    copied = false;
    copy = failedCopy(copy);
  }
  close(from);
  if (copied) copy.outcome = CopyOutcome::copied;
  return copy;
}

FileCopy inspectFileNoLinks(const std::string& source) {
  noteFileOpened(source);
  FileCopy found;
  int from =
      open(toPosixSeparators(source).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (from < 0) {
    if (errno == ELOOP) found.outcome = CopyOutcome::link;
    return errno == ELOOP ? found : failedCopy(found);
  }
  struct stat info {};
  char start[2];
  ssize_t count = 0;
  if (fstat(from, &info) != 0 || !S_ISREG(info.st_mode) || (count = read(from, start, 2)) < 0) {
    found = failedCopy(found);
    if (S_ISREG(info.st_mode) == 0) found.problem = "not a file";
  } else {
    found.outcome = CopyOutcome::copied;
    found.size = static_cast<std::uint64_t>(info.st_size);
    found.firstBytes.assign(start, static_cast<std::size_t>(count));
  }
  close(from);
  return found;
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
  noteFileOpened(path);
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

struct RegularFile::State {
  int handle = -1;
  FileOpening opening = FileOpening::failed;
  std::uint64_t size = 0;
};

RegularFile::RegularFile(const std::string& path) : state(new State) {
  std::string posixPath = toPosixSeparators(path);
  struct stat info {};
  if (lstat(posixPath.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) state->opening = FileOpening::missing;
    return;
  }
  state->opening = FileOpening::notRegular;
  if (!S_ISREG(info.st_mode)) return;
  noteFileOpened(path);
  // Should the entry be swapped between the look and the opening, a pipe in its place must not
  // make the opening wait, nor a link be followed.
  int handle = open(posixPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) {
    state->opening = errno == ELOOP ? FileOpening::notRegular : FileOpening::failed;
    return;
  }
  state->handle = handle;
  if (fstat(handle, &info) != 0) {
    state->opening = FileOpening::failed;
  } else if (S_ISREG(info.st_mode)) {
    state->opening = FileOpening::opened;
    state->size = static_cast<std::uint64_t>(info.st_size);
  }
}

RegularFile::~RegularFile() {
  if (state->handle >= 0) close(state->handle);
}

FileOpening RegularFile::opening() const { return state->opening; }

std::uint64_t RegularFile::size() const { return state->size; }

bool RegularFile::read(std::string& bytes, std::size_t limit) {
  bytes.clear();
  if (state->opening != FileOpening::opened || limit == 0) return false;
  bytes.resize(limit);
  ssize_t count = 0;
  do {
    count = ::read(state->handle, bytes.data(), limit);
  } while (count < 0 && errno == EINTR);
  bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  return count > 0;
}

}  // namespace platform
