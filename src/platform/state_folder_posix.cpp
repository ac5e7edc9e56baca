// The state folder on POSIX: /var/lib/mefwupdate, or the folder MEFW_STATE_DIR names (tests).
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix_paths.h"

namespace platform {

StatePlace stateFolderPlace() {
  const char* chosen = std::getenv("MEFW_STATE_DIR");
  std::string path = chosen != nullptr && *chosen != '\0' ? chosen : "/var/lib/mefwupdate";
  return {"", path, ""};
}

FolderFacts folderFacts(const std::string& path) {
  FolderFacts facts;
  struct stat info {};
  if (lstat(toPosixSeparators(path).c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.isLink = S_ISLNK(info.st_mode);
  facts.isFolder = S_ISDIR(info.st_mode);
  facts.owner = info.st_uid == geteuid() ? Account::runningAccount
                : info.st_uid == 0       ? Account::system
                                         : Account::other;
  // Write on a folder lets its holder make, rename and delete what is in it.
  for (mode_t bit : {S_IWGRP, S_IWOTH}) {
    if ((info.st_mode & bit) != 0) {
      facts.grants.push_back({Account::other, addEntries | removeEntries});
    }
  }
  return facts;
}

FolderFacts openOwnFolder(const std::string& path) {
  // 0755 at most: the records may be read by all, written only by their owner.
  mkdir(toPosixSeparators(path).c_str(), 0755);
  return folderFacts(path);
}

bool renameFolder(const std::string& path, const std::string& newPath) {
  return rename(toPosixSeparators(path).c_str(), toPosixSeparators(newPath).c_str()) == 0;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

std::string computerName() {
  char name[256] = {};
  // A name that fills the buffer may come without its end.
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace platform
