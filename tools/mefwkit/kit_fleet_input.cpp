#include "mefwkit/kit_fleet_input.h"

#include <algorithm>

#include "app/run_record_store.h"
#include "mefwkit/kit_fleet_record.h"
#include "platform/platform.h"
#include "settings/text_case.h"

namespace {

// A folder nested deeper than this is not walked: collected records are a few levels down.
const int deepestFolder = 16;
const std::size_t readBlock = 64 * 1024;

// The files at the top of a machine's state folder; any one makes the folder one machine.
const char* const lastRunName = "last-run.json";
const char* const lastFlashName = "last-flash.json";
const char* const lastScanName = "last-scan.json";
const char* const resultName = "result.json";

std::string lastPart(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) {
    trimmed.pop_back();
  }
  std::size_t cut = trimmed.find_last_of("/\\");
  return cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
  bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
  return separated ? folder + name : folder + "/" + name;
}

std::string tooLarge(std::uint64_t size) {
  return "too large: " + std::to_string(size) + " bytes, more than " +
         std::to_string(largestRecordFile / (1024 * 1024)) + " MiB";
}

// A record file's whole text, read only when it is a regular file no larger than a record
// can be; nothing, with the reason, otherwise (none for a file that is not there).
std::optional<std::string> recordText(const std::string& path, std::string& problem) {
  platform::RegularFile file(path);
  if (file.opening() == platform::FileOpening::missing) return std::nullopt;
  if (file.opening() != platform::FileOpening::opened) {
    problem = file.opening() == platform::FileOpening::notRegular ? "not a regular file"
                                                                  : "cannot be read";
    return std::nullopt;
  }
  if (file.size() > largestRecordFile) {
    problem = tooLarge(file.size());
    return std::nullopt;
  }
  std::string text;
  std::string block;
  // A file that grows while it is read is cut off at the limit, not followed.
  while (text.size() <= largestRecordFile && file.read(block, readBlock)) {
    text += block;
  }
  if (text.size() > largestRecordFile) {
    problem = tooLarge(text.size());
    return std::nullopt;
  }
  return text;
}

std::optional<RecordFacts> readRecordAt(const std::string& path, Fleet& fleet) {
  std::string problem;
  std::optional<std::string> text = recordText(path, problem);
  std::optional<RecordFacts> facts = text ? readRecordFacts(*text, problem) : std::nullopt;
  if (!facts && !problem.empty()) fleet.unreadable.push_back({path, problem});
  return facts;
}

bool holds(const std::vector<platform::FolderEntry>& entries, const char* name) {
  return std::any_of(entries.begin(), entries.end(), [&](const platform::FolderEntry& entry) {
    return toLower(entry.name) == name;
  });
}

std::optional<RecordFacts> readIfThere(const std::string& folder,
                                       const std::vector<platform::FolderEntry>& entries,
                                       const char* name, Fleet& fleet) {
  for (const platform::FolderEntry& entry : entries) {
    if (toLower(entry.name) == name) return readRecordAt(joined(folder, entry.name), fleet);
  }
  return std::nullopt;
}

// Takes what the machine's data still lacks from one more record.
void takeMachineData(const std::optional<RecordFacts>& facts, FleetMachine& machine) {
  if (!facts) return;
  if (machine.biosText.empty()) machine.biosText = facts->biosText;
  std::string firmware = firmwareAfter(*facts);
  if (!machine.installedVersion && !firmware.empty()) machine.installedVersion = firmware;
  if (machine.computerName.empty()) machine.computerName = facts->computerName;
}

bool hasMachineData(const FleetMachine& machine) {
  return !machine.biosText.empty() && machine.installedVersion.has_value();
}

// The run folders of a state folder, newest first: by the time in their name, then by process
// id, as the installer prunes them.
std::vector<std::string> runFoldersNewestFirst(const std::string& runs) {
  std::vector<std::string> names;
  for (const platform::FolderEntry& entry :
       platform::folderEntries(runs).value_or(std::vector<platform::FolderEntry>{})) {
    if (entry.kind == platform::EntryKind::folder) names.push_back(entry.name);
  }
  std::vector<std::string> ordered = runFoldersToPrune(names, 0);
  std::reverse(ordered.begin(), ordered.end());
  return ordered;
}

// The older runs are read only for what the newest records lack, newest first, and only as
// far as needed.
void takeFromRuns(const std::string& folder, FleetMachine& machine, Fleet& fleet) {
  std::string runs = joined(folder, "runs");
  for (const std::string& run : runFoldersNewestFirst(runs)) {
    if (hasMachineData(machine)) return;
    takeMachineData(readRecordAt(joined(joined(runs, run), resultName), fleet), machine);
  }
}

// Whether a restart is pending, by the newer of the last run and the last scan.
std::optional<bool> restartPending(const std::optional<RecordFacts>& lastRun,
                                   const std::optional<RecordFacts>& lastScan) {
  if (!lastScan || !lastScan->restartPending) {
    return lastRun ? lastRun->restartPending : std::nullopt;
  }
  if (!lastRun || !lastRun->restartPending) return lastScan->restartPending;
  bool scanNewer = lastScan->outcome.time > lastRun->outcome.time;
  return scanNewer ? lastScan->restartPending : lastRun->restartPending;
}

// A machine without a BIOS version is unreadable: once, so that a record that could not be
// read stands for its machine and is not counted twice.
void addMachine(FleetMachine& machine, const std::string& where, std::size_t problemsBefore,
                Fleet& fleet) {
  if (!machine.biosText.empty()) {
    fleet.machines.push_back(std::move(machine));
  } else if (fleet.unreadable.size() == problemsBefore) {
    fleet.unreadable.push_back({where, "no BIOS version in any record"});
  }
}

// A collected state folder is one machine, whatever its runs\ hold: its BIOS and firmware
// from the first record that holds each, its last outcome from last-run.json.
void readStateFolder(const std::string& folder, const std::vector<platform::FolderEntry>& entries,
                     Fleet& fleet) {
  std::size_t problemsBefore = fleet.unreadable.size();
  std::optional<RecordFacts> lastRun = readIfThere(folder, entries, lastRunName, fleet);
  std::optional<RecordFacts> lastFlash = readIfThere(folder, entries, lastFlashName, fleet);
  std::optional<RecordFacts> lastScan = readIfThere(folder, entries, lastScanName, fleet);
  FleetMachine machine;
  machine.name = lastPart(folder);
  takeMachineData(lastRun, machine);
  takeMachineData(lastFlash, machine);
  takeFromRuns(folder, machine, fleet);
  // A scan only tells what a run would have found: it comes last.
  takeMachineData(lastScan, machine);
  if (lastRun) machine.last = lastRun->outcome;
  if (lastScan) machine.lastScan = lastScan->outcome;
  if (lastFlash) machine.lastFlashState = lastFlash->outcome.state;
  machine.restartPending = restartPending(lastRun, lastScan);
  addMachine(machine, folder, problemsBefore, fleet);
}

void readFolder(const std::string& folder, int depth, Fleet& fleet);

void readSubfolders(const std::string& folder, const std::vector<platform::FolderEntry>& entries,
                    int depth, Fleet& fleet) {
  for (const platform::FolderEntry& entry : entries) {
    std::string path = joined(folder, entry.name);
    if (entry.kind == platform::EntryKind::other) {
      // A link could lead anywhere, a pipe would block: neither is followed nor opened, and
      // the machine it may stand for is counted as unreadable.
      fleet.unreadable.push_back({path, "not a regular file or folder"});
    } else if (entry.kind == platform::EntryKind::folder) {
      readFolder(path, depth + 1, fleet);
    }
  }
}

void readFolder(const std::string& folder, int depth, Fleet& fleet) {
  if (depth > deepestFolder) {
    fleet.unreadable.push_back(
        {folder, "nested deeper than " + std::to_string(deepestFolder) + " folders"});
    return;
  }
  std::optional<std::vector<platform::FolderEntry>> entries = platform::folderEntries(folder);
  if (!entries) {
    fleet.unreadable.push_back({folder, "cannot be read"});
    return;
  }
  std::sort(entries->begin(), entries->end(),
            [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
              return a.name < b.name;
            });
  if (holds(*entries, lastRunName) || holds(*entries, lastFlashName) ||
      holds(*entries, lastScanName)) {
    return readStateFolder(folder, *entries, fleet);
  }
  if (holds(*entries, resultName)) {
    FleetMachine machine;
    machine.name = lastPart(folder);
    std::optional<RecordFacts> facts = readIfThere(folder, *entries, resultName, fleet);
    if (!facts) return;
    takeMachineData(facts, machine);
    machine.last = facts->outcome;
    return addMachine(machine, folder, fleet.unreadable.size(), fleet);
  }
  readSubfolders(folder, *entries, depth, fleet);
}

}  // namespace

void readFleetRecord(const std::string& text, const std::string& path, const std::string& name,
                     Fleet& fleet) {
  std::string problem;
  std::optional<RecordFacts> facts = readRecordFacts(text, problem);
  if (!facts) {
    fleet.unreadable.push_back({path, problem});
    return;
  }
  FleetMachine machine;
  machine.name = name;
  takeMachineData(facts, machine);
  machine.last = facts->outcome;
  addMachine(machine, path, fleet.unreadable.size(), fleet);
}

std::string readFleet(const std::string& path, Fleet& fleet) {
  if (platform::folderEntries(path)) {
    readFolder(path, 0, fleet);
    return "";
  }
  platform::RegularFile file(path);
  if (file.opening() == platform::FileOpening::notRegular) return "not a regular file";
  if (file.opening() != platform::FileOpening::opened) return "cannot be read";
  readFleetCsv([&](std::string& bytes) { return file.read(bytes, readBlock); }, path, fleet);
  return "";
}
