// What the POSIX build looks at before the firmware is touched: the installer lock, the power
// supply and the working folder.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/platform.h"
#include "platform/run_guards_posix.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

const char* const lockFileName = "mefwupdate.lock";

int lockDescriptor = -1;

// Where the lock file lives, and what may be said about the choice.
struct LockPlace {
  fs::path folder;
  bool madeHere = false;    // the folder is made, mode 0700, when it does not exist
  bool sharedTemp = false;  // a sticky temporary folder that everyone may write
  std::string note;
};

LockPlace lockPlace() {
  const char* chosen = std::getenv("MEFW_LOCK_DIR");
  if (chosen != nullptr && *chosen != '\0') return {chosen, false, false, ""};
  // Not /run/lock: Debian makes it world-writable and sticky, like /tmp.
  if (geteuid() == 0) return {"/run/mefwupdate", true, false, ""};
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return {runtime, false, false, ""};
  std::error_code error;
  fs::path temporary = fs::temp_directory_path(error);
  if (error) temporary = "/tmp";
  return {temporary, false, true,
          "XDG_RUNTIME_DIR is not set: the one-instance guard is kept in " + temporary.string() +
              ", where other users can get in its way.\n"};
}

std::string systemError(int error) { return std::strerror(error); }

// The folder must not let anyone else replace the lock file: a folder of this user or of root
// that no one else may write, or, in the development fallback, a sticky temporary folder.
std::string folderProblem(int folder, const LockPlace& place) {
  struct stat status {};
  if (fstat(folder, &status) != 0) return systemError(errno);
  if (!S_ISDIR(status.st_mode)) return "its folder is not a folder";
  if (status.st_uid != geteuid() && status.st_uid != 0) return "its folder belongs to another user";
  bool othersWrite = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (othersWrite && !(place.sharedTemp && (status.st_mode & S_ISVTX) != 0)) {
    return "other users may write its folder";
  }
  return "";
}

// Never follows a link, never waits (a FIFO planted at the path opens at once and is refused
// below), and is closed on exec: only the flash is handed a copy.
int openLockFile(int folder) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Opened without O_CREAT first: Linux refuses O_CREAT on another user's file in a sticky
    // folder such as /tmp, even to root.
    int descriptor = openat(folder, lockFileName, flags);
    if (descriptor >= 0 || errno != ENOENT) return descriptor;
    descriptor = openat(folder, lockFileName, flags | O_CREAT | O_EXCL, 0600);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

std::string openProblem(int error) {
  if (error == ELOOP) return "a symbolic link stands at its path";
  return systemError(error);
}

// flock needs only read access, so no one else may open the file at all.
std::string fileProblem(int descriptor) {
  struct stat status {};
  if (fstat(descriptor, &status) != 0) return systemError(errno);
  if (!S_ISREG(status.st_mode)) return "it is not a plain file";
  if (status.st_uid != geteuid()) return "it belongs to another user";
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) return "other users may open it";
  return "";
}

InstallerLockClaim blocked(InstallerLockClaim claim, const std::string& problem) {
  claim.outcome = InstallerLock::blocked;
  claim.problem = problem;
  return claim;
}

InstallerLockClaim lockFile() {
  LockPlace place = lockPlace();
  InstallerLockClaim claim;
  claim.guard = (place.folder / lockFileName).string();
  claim.note = place.note;
  if (place.madeHere && mkdir(place.folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return blocked(claim, "its folder cannot be made: " + systemError(errno));
  }
  int folder = open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return blocked(claim, "its folder cannot be opened: " + systemError(errno));
  std::string problem = folderProblem(folder, place);
  int descriptor = problem.empty() ? openLockFile(folder) : -1;
  if (problem.empty() && descriptor < 0) problem = openProblem(errno);
  close(folder);
  if (problem.empty()) problem = fileProblem(descriptor);
  if (!problem.empty()) {
    if (descriptor >= 0) close(descriptor);
    return blocked(claim, problem);
  }
  // The lock belongs to the open file, not to the file's existence: a file left behind by a
  // run that ended is free again once no process holds it open, its flash included.
  if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
    lockDescriptor = descriptor;
    return claim;
  }
  int error = errno;
  close(descriptor);
  if (error == EWOULDBLOCK) {
    claim.outcome = InstallerLock::heldElsewhere;
    return claim;
  }
  return blocked(claim, systemError(error));
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

// A battery's energy (energy_now, energy_full, in µWh) or charge (charge_now, charge_full, in
// µAh), or -1 when the text is not a count.
long long amountValue(const std::string& text) {
  if (text.empty() || text.size() > 15 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stoll(text);
}

// How full a battery is in absolute terms, so that a large battery weighs more than a small one.
enum class Measure { none, energy, charge };

struct PowerSupplies {
  bool externalPower = false;
  int batteries = 0;
  int chargeTotal = 0;
  // Every battery's amount, while all of them give one in the same measure.
  Measure measure = Measure::none;
  bool weighable = true;
  long long nowTotal = 0;
  long long fullTotal = 0;
};

void weighBattery(const fs::path& supply, PowerSupplies& supplies) {
  for (auto [measure, now, full] :
       {std::make_tuple(Measure::energy, "energy_now", "energy_full"),
        std::make_tuple(Measure::charge, "charge_now", "charge_full")}) {
    long long nowValue = amountValue(supplyValue(supply, now));
    long long fullValue = amountValue(supplyValue(supply, full));
    if (nowValue < 0 || fullValue <= 0) continue;
    if (supplies.measure != Measure::none && supplies.measure != measure) break;
    supplies.measure = measure;
    supplies.nowTotal += std::min(nowValue, fullValue);
    supplies.fullTotal += fullValue;
    return;
  }
  supplies.weighable = false;
}

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
  weighBattery(supply, supplies);
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

InstallerLockClaim claimInstallerLock() {
  static const InstallerLockClaim claim = lockFile();
  return claim;
}

int claimedLockDescriptor() { return lockDescriptor; }

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
  // Several batteries are weighed by what they hold; the plain average of their percentages
  // only where they do not say.
  if (supplies.weighable && supplies.fullTotal > 0) {
    return static_cast<int>(supplies.nowTotal * 100 / supplies.fullTotal);
  }
  return supplies.chargeTotal / supplies.batteries;
}

std::string workingFolder() {
  std::error_code error;
  fs::path folder = fs::current_path(error);
  return error ? std::string() : folder.string();
}

}  // namespace platform
