#include "app/restart_pending.h"

#include <nlohmann/json.hpp>

#include "app/run_record.h"
#include "app/run_record_store.h"
#include "checks/version_compare.h"
#include "platform/platform.h"

namespace {

using Json = nlohmann::json;

// A member of an object, or null: the record is read without a single exception.
const Json& member(const Json& object, const char* name) {
  static const Json none;
  if (!object.is_object()) return none;
  auto found = object.find(name);
  return found == object.end() ? none : *found;
}

std::string text(const Json& value) { return value.is_string() ? value.get<std::string>() : ""; }

// Compared field by field as the update compares them; a version with a field that cannot be
// read is never older.
bool isOlder(const std::string& version, const std::string& than) {
  for (int n = 0; n < 4; ++n) {
    std::optional<int> field = readVersionField(version, n);
    std::optional<int> other = readVersionField(than, n);
    if (!field || !other) return false;
    if (*field != *other) return *field < *other;
  }
  return false;
}

}  // namespace

std::optional<PendingRestart> pendingRestartFrom(const std::string& lastFlashJson,
                                                 std::optional<std::time_t> bootTime,
                                                 const std::string& installedVersion) {
  Json record = Json::parse(lastFlashJson, nullptr, false);
  if (record.is_discarded() || member(record, "schema") != 1 ||
      text(member(record, "state")) != "finished") {
    return std::nullopt;
  }
  const Json& firmware = member(record, "firmware");
  PendingRestart flashed{"", text(member(record, "ended"))};
  if (member(member(record, "flash"), "completed") == true) {
    flashed.version = text(member(firmware, "kitbox"));
  } else if (member(record, "restartPending") == true) {
    // A run that found the restart pending tried its own flash, which the tool refuses until
    // then: it takes over last-flash.json, and its stamp names the firmware that waits.
    flashed.version = text(member(firmware, "stamped"));
  } else {
    return std::nullopt;
  }
  std::optional<std::time_t> ended = parseUtcText(flashed.installedAt);
  if (!ended || !bootTime || *ended <= *bootTime) return std::nullopt;
  if (!isOlder(installedVersion, flashed.version)) return std::nullopt;
  return flashed;
}

std::optional<PendingRestart> pendingRestart(const std::string& installedVersion) {
  std::optional<std::string> lastFlash = readStateFile("last-flash.json");
  if (!lastFlash) return std::nullopt;
  return pendingRestartFrom(*lastFlash, platform::bootTime(), installedVersion);
}
