// The state folder, where run records are kept. The installer runs elevated, and standard users
// may make folders where it keeps them, so a folder is used only when the system's own account,
// the administrators or the running account own it and no one else may change what is in it.
#pragma once

#include <ctime>
#include <string>

#include "platform/platform.h"

// Why the installer may not write in the folder, or "" when it may: missing, a link or
// name-surrogate reparse point, not a folder, an owner that cannot be read or is another
// account, or rights for another account to add or remove entries, change its rights or take
// it over.
std::string folderProblem(const std::string& path, const platform::FolderFacts& facts);

struct StateFolderChoice {
  std::string path;     // empty when it cannot be used
  std::string problem;  // why not
  std::string note;     // what was done about it (a folder renamed aside), for one verbose line
};

// Opens the state folder, made when missing. The vendor folder (which other software may share)
// must be sound and is never renamed. A state folder that is not sound is left alone, unless
// `holdsGuard`: the run that holds the one-instance guard renames it aside, to
// "<folder>.untrusted-<YYYYMMDDTHHMMSSZ>-<random>", and makes a new one.
StateFolderChoice openStateFolder(bool holdsGuard, std::time_t now);
