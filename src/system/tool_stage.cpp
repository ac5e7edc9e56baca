#include "system/tool_stage.h"

#include <algorithm>
#include <optional>
#include <set>

#include "app/error_catalogue.h"
#include "platform/platform.h"
#include "settings/fixed_names.h"
#include "settings/run_settings.h"
#include "system/tool_folder_rules.h"
#include "system/tool_signature.h"

namespace {

struct Stage {
  std::string path;
  std::set<std::string> folders;        // relative folders made in it
  std::set<std::string> stagedFolders;  // tool folders copied and checked
  bool kept = false;
};

Stage& stage() {
  static Stage current;
  return current;
}

std::string inStage(const std::string& relative) { return stage().path + "\\" + relative; }

// The stage is made when the first file is to be copied into it; when it cannot be made, that
// file cannot be copied.
void makeStage(const std::string& firstFile) {
  if (!stage().path.empty()) return;
  platform::StageFolder made = platform::makeStageFolder();
  if (made.path.empty()) raiseError("2020s", {firstFile, made.problem});
  stage().path = made.path;
}

// Makes each folder of a relative path ("ME_Flash\Local-Win\") inside the stage.
void makeFolders(const std::string& relativeFolder, const std::string& forFile) {
  for (std::size_t end = relativeFolder.find('\\'); end != std::string::npos;
       end = relativeFolder.find('\\', end + 1)) {
    std::string folder = relativeFolder.substr(0, end);
    if (stage().folders.count(folder) != 0) continue;
    if (!platform::makeStageSubfolder(inStage(folder))) {
      raiseError("2020s", {forFile, platform::lastSystemError()});
    }
    stage().folders.insert(folder);
  }
}

std::vector<std::string> sortedFiles(const std::string& folder) {
  std::vector<std::string> names =
      platform::filesInFolder(folder).value_or(std::vector<std::string>{});
  std::sort(names.begin(), names.end());
  return names;
}

// Copies the folder's files in name order until the first that cannot be copied: the rules
// refuse the folder at that one, and nothing after it matters.
std::vector<ToolFolderFile> copyFolder(const std::string& folder) {
  std::vector<ToolFolderFile> files;
  std::uint64_t total = 0;
  for (const std::string& name : sortedFiles(folder)) {
    std::uint64_t left = total < toolFolderLimit ? toolFolderLimit - total : 0;
    platform::FileCopy copy =
        platform::copyFileNoLinks(folder + name, inStage(folder + name), left);
    files.push_back(
        {name, copy.outcome, copy.size, startsAsProgram(copy.firstBytes), copy.problem});
    total += copy.size;
    if (copy.outcome != platform::CopyOutcome::copied) break;
  }
  return files;
}

bool toolIsThere(const std::string& folder, const std::string& namedTool) {
  platform::InputFile tool(folder + namedTool, platform::FileMode::raw);
  return tool.isOpen();
}

}  // namespace

void stageToolFolder(const std::string& folder, const std::string& namedTool) {
  // Copied and checked once per run: the copies cannot change, and are held open since.
  if (!stage().stagedFolders.insert(folder).second) return;
  makeStage(folder + namedTool);
  makeFolders(folder, folder + namedTool);
  std::vector<ToolFolderFile> files = copyFolder(folder);
  std::vector<std::string> admittedUnsigned;
  // The copies are checked, never the Kitbox's files: those may be re-pointed at any time.
  std::optional<std::string> refusal = toolFolderRefusal(
      folder, namedTool, files,
      [&folder](const std::string& name) {
        return platform::checkProgramSignature(inStage(folder + name));
      },
      allowUnsignedFlag(), admittedUnsigned);
  if (refusal) throw *refusal;
  for (const std::string& name : admittedUnsigned) {
    warnUnsignedTool(name);
  }
}

void stageToolFolderIfThere(const std::string& folder, const std::string& namedTool) {
  if (toolIsThere(folder, namedTool)) {
    stageToolFolder(folder, namedTool);
  } else {
    makeStage(folder + namedTool);
  }
}

void stageFirmwareImage(const std::string& image) {
  std::string file = firmwareFolder + image;
  makeStage(file);
  std::string relative = file;
  std::replace(relative.begin(), relative.end(), '/', '\\');
  // A name from input.txt may hold folders, but must stay inside the firmware folder.
  if (std::optional<std::string> leaves = imageNameRefusal(image)) throw *leaves;
  makeFolders(relative.substr(0, relative.rfind('\\') + 1), file);
  // An image has no limit of its own: its size is Intel's to choose.
  platform::FileCopy copy = platform::copyFileNoLinks(file, inStage(relative), UINT64_MAX);
  if (copy.outcome == platform::CopyOutcome::link) {
    raiseError("2020s", {file, "a link, not a file"});
  }
  if (copy.outcome != platform::CopyOutcome::copied) raiseError("2020s", {file, copy.problem});
}

std::string stageFolder() { return stage().path; }

void keepStage() { stage().kept = true; }

void removeStage() {
  Stage& current = stage();
  if (current.path.empty() || current.kept) return;
  platform::letGoOfHeldFiles();
  // A file still in use stays; the next run that holds the guard tries again.
  platform::removeFolderTree(current.path);
  current = Stage{};
}

void removeLeftStages() {
  for (const std::string& path : platform::leftStageFolders()) {
    if (path != stage().path) platform::removeFolderTree(path);
  }
}

std::vector<StageFile> stageFilesWrittenByTools() {
  std::vector<StageFile> files;
  if (stage().path.empty()) return files;
  for (const std::string& name : sortedFiles(stage().path)) {
    files.push_back({name, inStage(name)});
  }
  return files;
}

void resetToolStage() { stage() = Stage{}; }
