#include "app/run_record_store.h"

#include <algorithm>
#include <exception>
#include <tuple>

#include "app/run_guards.h"
#include "app/state_folder.h"
#include "console/log_files.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "system/tool_stage.h"

static_assert(writtenLogTailLimit == logCopyLimit, "a log's copy is the tail the log keeps");

namespace {

struct Store {
  bool opened = false;
  bool usable = false;
  // Opened before the run held the one-instance guard, and unusable: tried once more once it
  // does, since only then may an unsound state folder be renamed aside.
  bool awaitingGuard = false;
  bool complained = false;
  std::string folder;
  // Empty until the run holds the guard and its folder was made.
  std::string runFolder;
};

Store& store() {
  static Store current;
  return current;
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

// The one line a record that cannot be written is allowed to cost.
void complain(const std::string& problem) {
  Store& current = store();
  if (current.complained) return;
  current.complained = true;
  printVerbose("The run record was not written: " + problem + "\n", "default");
}

bool isDigits(const std::string& text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                     text.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// "YYYYMMDDTHHMMSSZ-<digits>"
bool isRunFolderName(const std::string& name) {
  return name.size() > 17 && name.size() <= 17 + 10 && isDigits(name, 0, 8) && name[8] == 'T' &&
         isDigits(name, 9, 6) && name[15] == 'Z' && name[16] == '-' &&
         isDigits(name, 17, name.size() - 17);
}

void pruneRunFolders(const std::string& runs, const std::string& own) {
  std::optional<std::vector<std::string>> names = platform::foldersInFolder(runs);
  if (!names) return;
  for (const std::string& name : runFoldersToPrune(*names, keptRunFolders)) {
    if (name == own) continue;
    // Each folder is checked as if it were written in: a planted one is not ours to empty.
    std::string path = inFolder(runs, name);
    if (folderProblem(path, platform::folderFacts(path)).empty()) platform::removeOwnFolder(path);
  }
}

// A folder the checks refuse is never written through, and nothing more is written this run.
bool refuse(const std::string& problem) {
  store().usable = false;
  complain(problem);
  return false;
}

std::string openFolderProblem(const std::string& path) {
  return folderProblem(path, platform::openOwnFolder(path));
}

// An unsound state folder is tried once more when the run holds the guard: only then may it be
// renamed aside.
bool useStateFolder() {
  Store& current = store();
  bool guard = runHoldsGuard();
  current.opened = true;
  current.awaitingGuard = !guard;
  StateFolderChoice state = openStateFolder(guard, std::time(nullptr));
  if (!state.note.empty()) printVerbose("The state folder " + state.note + "\n", "default");
  if (state.path.empty()) return refuse(state.problem);
  current.awaitingGuard = false;
  current.folder = state.path;
  current.usable = true;
  return true;
}

// A run folder is made, and old ones pruned, only by a run that holds the guard: a run refused
// beside a flash must not prune the flash's folder away under it.
bool openRunFolder(const RunRecord& record) {
  Store& current = store();
  std::string runs = inFolder(current.folder, "runs");
  std::string problem = openFolderProblem(runs);
  std::string name = runFolderName(record.started, platform::processId());
  if (problem.empty()) problem = openFolderProblem(inFolder(runs, name));
  if (!problem.empty()) return refuse(problem);
  current.runFolder = inFolder(runs, name);
  pruneRunFolders(runs, name);
  return true;
}

// The state folder is opened by the first record written or read, and once more when the run
// has claimed the guard since: only then may an unsound one be renamed aside.
bool openStateFolderOnce() {
  Store& current = store();
  bool retry = current.opened && current.awaitingGuard && runHoldsGuard();
  if (!current.opened || retry) useStateFolder();
  return !current.folder.empty();
}

bool openStore(const RunRecord& record) {
  Store& current = store();
  if (!openStateFolderOnce() || !current.usable) return false;
  if (current.runFolder.empty() && runHoldsGuard()) return openRunFolder(record);
  return true;
}

// Every write replaces its file whole, so a run killed at any point leaves a readable record.
// Only the record of a flash that starts is synced to the disk before the flash: it must also
// survive the power loss that a flash can end in. The others cost no wait for the disk.
bool writeFile(const std::string& path, const std::string& bytes, bool synced = false) {
  platform::OutputFile file(
      path, platform::FileMode::raw,
      synced ? platform::WriteMethod::replace : platform::WriteMethod::replaceUnsynced);
  return file.isOpen() && file.write(bytes) && file.commit();
}

// Read and written a block at a time: a log of megabytes of tool output must not cost the run
// as much memory again.
constexpr std::uint64_t logCopyBlock = 64 * 1024;

// A file the tools wrote in the stage; one that is not there (any more) has nothing to copy.
// The stage is the installer's own, so it may be read by name.
bool copyStageFile(const std::string& name, const std::string& path) {
  std::optional<platform::FilePart> whole = platform::readFilePart(name, 0, 0);
  if (!whole) return true;
  std::uint64_t size = whole->size;
  platform::OutputFile file(path, platform::FileMode::raw, platform::WriteMethod::replaceUnsynced);
  bool written = file.isOpen() && file.write(logCopyHeader(size));
  for (std::uint64_t at = size - std::min(size, logCopyLimit); written && at < size;
       at += logCopyBlock) {
    std::optional<platform::FilePart> part = platform::readFilePart(name, at, logCopyBlock);
    written = part && file.write(part->bytes);
  }
  return written && file.commit();
}

// The copy is of the bytes the installer wrote, never of what the Kitbox holds by that name
// now: anyone who may write the Kitbox may have put a link to a secret there since.
bool copyLog(const std::string& name, const std::string& path) {
  std::optional<std::uint64_t> size = writtenLogSize(name);
  if (!size) return true;
  platform::OutputFile file(path, platform::FileMode::raw, platform::WriteMethod::replaceUnsynced);
  return file.isOpen() && file.write(logCopyHeader(*size)) &&
         copyWrittenLog(name, [&file](std::string_view part) { return file.write(part); }) &&
         file.commit();
}

void copyLogs(const RunRecord& record) {
  for (const std::string& name : record.logs) {
    std::string path = inFolder(store().runFolder, name);
    if (!copyLog(name, path)) complain("cannot write " + path);
  }
  for (const StageFile& file : stageFilesWrittenByTools()) {
    std::string path = inFolder(store().runFolder, "stage-" + file.name);
    if (!copyStageFile(file.path, path)) complain("cannot write " + path);
  }
}

}  // namespace

std::string runFolderName(std::time_t started, unsigned long processId) {
  std::tm* parts = std::gmtime(&started);
  char time[32] = "19700101T000000Z";
  if (parts != nullptr) std::strftime(time, sizeof time, "%Y%m%dT%H%M%SZ", parts);
  return std::string(time) + "-" + std::to_string(processId);
}

std::vector<std::string> runFoldersToPrune(const std::vector<std::string>& names,
                                           std::size_t kept) {
  std::vector<std::pair<std::string, unsigned long long>> runs;
  for (const std::string& name : names) {
    if (isRunFolderName(name)) runs.emplace_back(name, std::stoull(name.substr(17)));
  }
  std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
    return std::make_tuple(a.first.substr(0, 16), a.second) <
           std::make_tuple(b.first.substr(0, 16), b.second);
  });
  std::vector<std::string> pruned;
  for (std::size_t i = 0; i + kept < runs.size(); ++i) {
    pruned.push_back(runs[i].first);
  }
  return pruned;
}

std::string logCopyHeader(std::uint64_t wholeSize) {
  if (wholeSize <= logCopyLimit) return "";
  return "[cut: only the last " + std::to_string(logCopyLimit) + " of " +
         std::to_string(wholeSize) + " bytes are kept]\n";
}

namespace {

void writeRecordFile(const std::string& name, const std::string& json, bool synced = false) {
  std::string path = inFolder(store().folder, name);
  if (!writeFile(path, json, synced)) complain("cannot write " + path);
}

// Each file is written whatever became of the others: above all, last-flash.json must follow
// the flash's outcome, or it would go on saying "flashing" for good.
void writeRecordFiles(const RunRecord& record, bool copyLogsToo) {
  // Scans may run often: their record is kept apart, so that it never pushes an update's run
  // folder or last-run.json out.
  if (record.mode == std::optional<std::string>("scan")) {
    if (openStateFolderOnce() && store().usable) {
      writeRecordFile("last-scan.json", runRecordJson(record));
    }
    return;
  }
  if (!openStore(record)) return;
  Store& current = store();
  std::string json = runRecordJson(record);
  if (!current.runFolder.empty()) {
    std::string result = inFolder(current.runFolder, "result.json");
    if (!writeFile(result, json)) complain("cannot write " + result);
    if (copyLogsToo) copyLogs(record);
  }
  writeRecordFile("last-run.json", json);
  if (current.runFolder.empty() || !record.flashStarted.value_or(false)) return;
  writeRecordFile("last-flash.json", json, record.state == "flashing");
}

}  // namespace

void writeRunRecord(const RunRecord& record, bool copyLogsToo) {
  // The record must never be in the run's way, whatever fails while it is written.
  try {
    writeRecordFiles(record, copyLogsToo);
  } catch (const std::exception& failure) {
    complain(failure.what());
  }
}

std::string stateFolderPath() {
  try {
    return openStateFolderOnce() ? store().folder : "";
  } catch (const std::exception& failure) {
    complain(failure.what());
    return "";
  }
}

std::optional<std::string> readStateFile(const std::string& name) {
  std::string folder = stateFolderPath();
  if (folder.empty()) return std::nullopt;
  std::optional<platform::FilePart> file =
      platform::readFilePart(inFolder(folder, name), 0, stateFileLimit);
  if (!file || file->size > stateFileLimit) return std::nullopt;
  return file->bytes;
}

std::string runRecordFolder() {
  const Store& current = store();
  return current.runFolder.empty() ? current.folder : current.runFolder;
}

void resetRunRecordStore() { store() = Store{}; }
