#include "app/state_folder.h"

#include <algorithm>

namespace {

bool isTrusted(platform::Account account) {
  return account == platform::Account::system || account == platform::Account::administrators ||
         account == platform::Account::runningAccount;
}

bool othersMayChange(const platform::FolderFacts& facts) {
  return std::any_of(facts.grants.begin(), facts.grants.end(),
                     [](const platform::FolderGrant& grant) {
                       return grant.rights != 0 && !isTrusted(grant.trustee);
                     });
}

std::string compactUtc(std::time_t time) {
  char text[32] = "19700101T000000Z";
  if (std::tm* parts = std::gmtime(&time)) {
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", parts);
  }
  return text;
}

}  // namespace

std::string folderProblem(const std::string& path, const platform::FolderFacts& facts) {
  if (!facts.exists) return path + " cannot be made";
  if (facts.isLink) return path + " is a link or reparse point";
  if (!facts.isFolder) return path + " is not a folder";
  // An owner that cannot be read may be anyone, and an owner may always change the rights.
  if (facts.owner == platform::Account::unreadable) {
    return path + " has an owner that cannot be read";
  }
  if (!isTrusted(facts.owner)) return path + " is owned by another account";
  if (othersMayChange(facts)) return path + " can be changed by other accounts";
  return "";
}

StateFolderChoice openStateFolder(bool holdsGuard, std::time_t now) {
  platform::StatePlace place = platform::stateFolderPlace();
  if (place.folder.empty()) return {"", place.problem, ""};
  if (!place.vendor.empty()) {
    std::string problem = folderProblem(place.vendor, platform::openOwnFolder(place.vendor));
    if (!problem.empty()) return {"", problem, ""};
  }
  platform::FolderFacts facts = platform::openOwnFolder(place.folder);
  std::string problem = folderProblem(place.folder, facts);
  if (problem.empty()) return {place.folder, "", ""};
  // Another run may still be writing in it, and only the run that holds the guard knows that
  // none is: it alone moves the folder out of the way.
  if (!holdsGuard || !facts.exists) return {"", problem, ""};
  std::string aside =
      place.folder + ".untrusted-" + compactUtc(now) + "-" + platform::randomName(8);
  if (!platform::renameFolder(place.folder, aside)) {
    return {"", problem + ", and it cannot be renamed aside", ""};
  }
  std::string note = problem + ": renamed to " + aside;
  std::string left = folderProblem(place.folder, platform::openOwnFolder(place.folder));
  if (!left.empty()) return {"", left, note};
  return {place.folder, "", note};
}
