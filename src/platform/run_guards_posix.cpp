// What the POSIX build looks at before the firmware is touched: the installer lock, the power
// supply and the working folder.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

// Opened for reading only: flock needs no write access, so a lock file that root created
// still serves a later run of another user. The file is never followed through a symbolic
// link planted in the shared folder, and never handed to the tools the installer starts.
int openLockFile(const fs::path& path) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Opened without O_CREAT first: Linux refuses O_CREAT on another user's file in a sticky
    // folder such as /tmp, even to root.
    int descriptor = open(path.c_str(), flags);
    if (descriptor >= 0 || errno != ENOENT) return descriptor;
    descriptor = open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

InstallerLock lockFile() {
  std::error_code error;
  fs::path folder = fs::temp_directory_path(error);
  if (error) return InstallerLock::unavailable;
  int descriptor = openLockFile(folder / "mefwupdate.lock");
  if (descriptor < 0) return InstallerLock::unavailable;
  // The lock belongs to the open file, not to the file's existence: a file left behind by a
  // run that was killed is free again, and the descriptor stays open until the process ends.
  if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return InstallerLock::claimed;
  bool held = errno == EWOULDBLOCK;
  close(descriptor);
  return held ? InstallerLock::heldElsewhere : InstallerLock::unavailable;
}

// The first line of a file in a power supply's folder, or "" when it cannot be read.
std::string supplyValue(const fs::path& supply, const char* name) {
  std::ifstream file(supply / name);
  std::string value;
  std::getline(file, value);
  return value;
}

// A charge in percent, or -1 when the text is not one.
int percentValue(const std::string& text) {
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  int value = std::atoi(text.c_str());
  return value <= 100 ? value : -1;
}

struct PowerSupplies {
  bool externalPower = false;
  int batteries = 0;
  int chargeTotal = 0;
};

// A battery of the computer itself (not of a mouse or a headset, whose scope is "Device").
void addBattery(const fs::path& supply, PowerSupplies& supplies) {
  if (supplyValue(supply, "scope") == "Device" || supplyValue(supply, "present") == "0") return;
  std::string status = supplyValue(supply, "status");
  // A charging or full battery hangs on mains power, whether or not a mains supply is listed.
  if (status == "Charging" || status == "Full" || status == "Not charging") {
    supplies.externalPower = true;
  }
  int charge = percentValue(supplyValue(supply, "capacity"));
  if (charge < 0) return;
  ++supplies.batteries;
  supplies.chargeTotal += charge;
}

void addSupply(const fs::path& supply, PowerSupplies& supplies) {
  std::string type = supplyValue(supply, "type");
  if (type == "Battery") {
    addBattery(supply, supplies);
  } else if (percentValue(supplyValue(supply, "online")) > 0) {
    supplies.externalPower = true;  // mains, USB or any other outside supply that is online
  }
}

}  // namespace

InstallerLock claimInstallerLock() {
  static const InstallerLock claim = lockFile();
  return claim;
}

std::optional<int> batteryOnlyCharge() {
  const char* replaced = std::getenv("MEFW_POWER_SUPPLY_DIR");
  fs::path folder = replaced != nullptr ? replaced : "/sys/class/power_supply";
  PowerSupplies supplies;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    addSupply(entry->path(), supplies);
  }
  if (supplies.externalPower || supplies.batteries == 0) return std::nullopt;
  return supplies.chargeTotal / supplies.batteries;
}

std::string workingFolder() {
  std::error_code error;
  fs::path folder = fs::current_path(error);
  return error ? std::string() : folder.string();
}

}  // namespace platform
