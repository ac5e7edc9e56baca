#include "app/run_guards.h"

#include <algorithm>
#include <cstring>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/text_case.h"
#include "system/tool_stage.h"

namespace {

bool& guardHeld() {
  static bool held = false;
  return held;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// \\?\ and \\.\ also stand before local paths (\\?\C:\Kitbox); only their UNC form is a share.
bool isDevicePrefix(const std::string& folder) {
  return folder.size() >= 4 && (folder[2] == '?' || folder[2] == '.') && isSeparator(folder[3]);
}

void checkWorkingFolderIsLocal() {
  std::string folder = platform::workingFolder();
  if (isNetworkPath(folder)) raiseError("2017s", {folder});
}

// A guard that cannot be set up is never passed over: another user could then switch it off
// and have two flashes run side by side.
void claimInstallerLock() {
  platform::InstallerLockClaim claim = platform::claimInstallerLock();
  switch (claim.outcome) {
    case platform::InstallerLock::claimed:
      guardHeld() = true;
      if (!claim.note.empty()) printVerbose(claim.note, "default");
      return;
    case platform::InstallerLock::heldElsewhere:
      raiseError("2015s");
    case platform::InstallerLock::blocked:
      raiseError("2019s", {claim.guard, claim.problem});
  }
}

}  // namespace

bool isNetworkPath(const std::string& folder) {
  if (folder.size() < 2 || !isSeparator(folder[0]) || !isSeparator(folder[1])) return false;
  if (!isDevicePrefix(folder)) return true;
  // The redirector's device stands for a share as the UNC form does.
  std::string rest = toLower(folder.substr(4));
  std::replace(rest.begin(), rest.end(), '/', '\\');
  for (const char* share : {"unc\\", "globalroot\\device\\mup\\"}) {
    if (rest.compare(0, std::strlen(share), share) == 0) return true;
  }
  return false;
}

void claimFirmwareAccess() {
  // A folder the tools cannot start in fails every run, so it is told first.
  checkWorkingFolderIsLocal();
  claimInstallerLock();
  // Holding the guard, this run knows that no other installer or flash uses a stage.
  removeLeftStages();
}

bool runHoldsGuard() { return guardHeld(); }

void resetRunHoldsGuard() { guardHeld() = false; }

void checkPowerSupply() {
  std::optional<int> charge = platform::batteryOnlyCharge();
  if (!charge) return;
  if (*charge < minimumBatteryCharge) raiseError("2016s", {std::to_string(*charge)});
  printVerbose("Running on battery with " + std::to_string(*charge) + "% charge.\n\n", "default");
}
