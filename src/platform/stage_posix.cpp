// The stage on POSIX: a mkdtemp folder in a temporary folder that no one else can change.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

const char* const stagePrefix = "mefwupdate-stage-";
// mkdtemp's six letters.
constexpr std::size_t stageSuffixLength = 6;

// $TMPDIR only when it is this account's (or root's, for root) and others cannot change what
// is in it: a folder that others may write, and which is not sticky, lets them rename the
// stage away and put their own in its place.
std::string stageParent() {
  const char* chosen = std::getenv("TMPDIR");
  struct stat info {};
  if (chosen == nullptr || *chosen == '\0' || lstat(chosen, &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "/tmp";
  }
  bool owned = info.st_uid == geteuid();
  bool sharedUnsticky = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0;
  return owned && !sharedUnsticky ? chosen : "/tmp";
}

bool isStageName(const std::string& name) {
  std::size_t prefix = std::strlen(stagePrefix);
  if (name.size() != prefix + stageSuffixLength || name.compare(0, prefix, stagePrefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < name.size(); ++i) {
    char c = name[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letter) return false;
  }
  return true;
}

// Made by mkdtemp for this account: a real folder, this account's, mode 0700.
bool looksLikeOurStage(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 07777) == 0700;
}

}  // namespace

StageFolder makeStageFolder() {
  std::string pattern = stageParent() + "/" + stagePrefix + std::string(stageSuffixLength, 'X');
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) return {"", std::strerror(errno)};
  return {name.data(), ""};
}

std::vector<std::string> leftStageFolders() {
  std::string parent = stageParent();
  std::vector<std::string> stages;
  DIR* directory = opendir(parent.c_str());
  if (directory == nullptr) return stages;
  while (dirent* entry = readdir(directory)) {
    std::string path = parent + "/" + entry->d_name;
    if (isStageName(entry->d_name) && looksLikeOurStage(path)) stages.push_back(path);
  }
  closedir(directory);
  return stages;
}

}  // namespace platform
