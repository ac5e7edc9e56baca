// What the Windows build looks at before the firmware is touched: the installer lock, the power
// supply and the working folder.
#include <windows.h>
// sddl.h needs windows.h first.
#include <sddl.h>

#include <string>

#include "platform/platform.h"
#include "platform/run_guards_win32.h"

namespace platform {

namespace {

// In the Global\ namespace, so that a deployment running as SYSTEM in session 0 and a user's
// double-click in a desktop session see the same object. Not a private namespace: that closes
// when the process that made it ends, and the flash of an installer that was ended would then
// guard nothing.
const char* const installerMutexName = "Global\\Norvane.mefwupdate";

// Full access for SYSTEM and the Administrators alone, none inherited from elsewhere: no other
// user can open the guard, so none can hold it, wait on it or close it.
const char* const guardSecurity = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE guardHandle = nullptr;

InstallerLockClaim blocked(InstallerLockClaim claim, const std::string& problem) {
  claim.outcome = InstallerLock::blocked;
  claim.problem = problem;
  return claim;
}

InstallerLockClaim held(InstallerLockClaim claim) {
  claim.outcome = InstallerLock::heldElsewhere;
  return claim;
}

std::string windowsError(DWORD error) { return "Windows error " + std::to_string(error); }

// CreateMutex fails with ERROR_INVALID_HANDLE when an object of another type (an event, a
// semaphore) holds the name: someone put it there, and a guard that cannot be made must never
// let a flash run unguarded.
InstallerLockClaim failedCreation(InstallerLockClaim claim, DWORD error) {
  if (error == ERROR_INVALID_HANDLE) return blocked(claim, "another kind of object holds its name");
  if (error != ERROR_ACCESS_DENIED) return blocked(claim, windowsError(error));
  // Denied: a guard that this account may not open, made by a run of another account. A
  // mutex that a standard user made first looks the same: Windows names no reliable owner.
  HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, installerMutexName);
  error = GetLastError();
  if (existing != nullptr) {
    CloseHandle(existing);
    return held(claim);
  }
  if (error == ERROR_ACCESS_DENIED) return held(claim);
  if (error == ERROR_INVALID_HANDLE) return blocked(claim, "another kind of object holds its name");
  return blocked(claim, windowsError(error));
}

// The mutex exists as long as a process holds a handle to it; the system closes the handles of
// a process that ends, however it ends. Only the flash inherits the handle, so the tool that
// writes the firmware keeps the guard alive while it runs, and no query does.
InstallerLockClaim createInstallerMutex() {
  InstallerLockClaim claim;
  claim.guard = installerMutexName;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(guardSecurity, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return blocked(claim, windowsError(GetLastError()));
  }
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
  HANDLE mutex = CreateMutexA(&attributes, FALSE, installerMutexName);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  if (mutex == nullptr) return failedCreation(claim, error);
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return held(claim);
  }
  guardHandle = mutex;
  return claim;
}

}  // namespace

InstallerLockClaim claimInstallerLock() {
  static const InstallerLockClaim claim = createInstallerMutex();
  return claim;
}

HANDLE claimedGuardHandle() { return guardHandle; }

std::optional<int> batteryOnlyCharge() {
  SYSTEM_POWER_STATUS status{};
  if (!GetSystemPowerStatus(&status)) return std::nullopt;
  // 0 is offline; 1 is online and 255 unknown.
  if (status.ACLineStatus != 0) return std::nullopt;
  // 128: no system battery; 255: the battery's state is unknown.
  if (status.BatteryFlag == 255 || (status.BatteryFlag & 128) != 0) return std::nullopt;
  if (status.BatteryLifePercent > 100) return std::nullopt;  // 255: unknown
  return static_cast<int>(status.BatteryLifePercent);
}

std::string workingFolder() {
  DWORD size = GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return "";
  std::string folder(size, '\0');
  DWORD length = GetCurrentDirectoryA(size, folder.data());
  if (length == 0 || length >= size) return "";
  folder.resize(length);
  return folder;
}

}  // namespace platform
