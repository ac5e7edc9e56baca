// What the Windows build looks at before the firmware is touched: the installer lock, the power
// supply and the working folder.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// In the Global\ namespace, so that a deployment running as SYSTEM in session 0 and a user's
// double-click in a desktop session see the same object.
const char* const installerMutexName = "Global\\Norvane.mefwupdate";

// The mutex exists as long as a process holds a handle to it; the system closes the handles of
// a process that ends, however it ends. The handle is not inheritable, so the tools the
// installer starts do not keep it alive.
InstallerLock createInstallerMutex() {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, installerMutexName);
  if (mutex != nullptr) {
    if (GetLastError() != ERROR_ALREADY_EXISTS) return InstallerLock::claimed;
    CloseHandle(mutex);
    return InstallerLock::heldElsewhere;
  }
  if (GetLastError() != ERROR_ACCESS_DENIED) return InstallerLock::unavailable;
  // Denied: either another account's run created it (a SYSTEM deployment, seen from a user's
  // session), or this account may not create global objects at all and nothing exists.
  HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, installerMutexName);
  if (existing != nullptr) {
    CloseHandle(existing);
    return InstallerLock::heldElsewhere;
  }
  return GetLastError() == ERROR_ACCESS_DENIED ? InstallerLock::heldElsewhere
                                               : InstallerLock::unavailable;
}

}  // namespace

InstallerLock claimInstallerLock() {
  static const InstallerLock claim = createInstallerMutex();
  return claim;
}

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
