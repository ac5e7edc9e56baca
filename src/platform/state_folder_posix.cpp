// The state folder on POSIX: /var/lib/mefwupdate, or the folder MEFW_STATE_DIR names (tests).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix_paths.h"

namespace platform {

std::string openOwnFolder(const std::string& path) {
  std::string folder = toPosixSeparators(path);
  // 0755 at most: the records may be read by all, written only by their owner.
  mkdir(folder.c_str(), 0755);
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return folder + " cannot be made";
  if (S_ISLNK(info.st_mode)) return folder + " is a symbolic link";
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  if (info.st_uid != geteuid()) return folder + " is owned by another user";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return folder + " can be written by other users";
  }
  return "";
}

StateFolder openStateFolder() {
  const char* chosen = std::getenv("MEFW_STATE_DIR");
  std::string path = chosen != nullptr && *chosen != '\0' ? chosen : "/var/lib/mefwupdate";
  std::string problem = openOwnFolder(path);
  if (!problem.empty()) return {"", problem};
  return {path, ""};
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

std::string computerName() {
  char name[256] = {};
  // A name that fills the buffer may come without its end.
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace platform
