// The run's stage: a private folder, made for this run where only administrators may change
// anything, that holds copies of what the installer runs (Intel's tool folders and the chosen
// firmware image) under the same relative names as in the Kitbox. The copies are checked there
// and run from there, so that nothing re-pointed in the Kitbox after the check, by anyone who
// may write it, is ever run. Command lines and messages stay those of the Kitbox.
#pragma once

#include <string>
#include <vector>

// Copies every plain file directly in the tool folder `folder` (relative to the Kitbox, ending in
// a backslash) into the stage, makes the stage first when there is none yet, and checks the
// copies: raises "2020s" for a link, a file that cannot be copied or a folder beyond its limit,
// "2018s" for a program file without an accepted signature (see tool_folder_rules.h).
// `namedTool` is the tool that runs from the folder; it is taken to be there.
void stageToolFolder(const std::string& folder, const std::string& namedTool);

// As stageToolFolder, but a named tool that is not in its folder is no error: nothing is copied,
// and the stage is made all the same, so that the tool's command finds nothing to run.
void stageToolFolderIfThere(const std::string& folder, const std::string& namedTool);

// Copies the firmware image (a name in "ME_Flash\") into the stage; raises "2020s".
void stageFirmwareImage(const std::string& image);

// The folder Intel's tools start in: the stage. Empty before anything was staged.
std::string stageFolder();

// Leaves the stage in place at the end of the run: something the flash started may still use
// it. The next run that holds the one-instance guard removes it.
void keepStage();

// At the end of the run, after its last record: removes the stage with everything in it, unless
// it is to be kept.
void removeStage();

// Removes the stages earlier runs left behind. Only for a run that holds the one-instance
// guard, which every live installer and every orphaned flash holds: no stage removed here is
// still in use.
void removeLeftStages();

// The files the tools wrote directly in the stage (beside the copied folders), for the record.
struct StageFile {
  std::string name;
  std::string path;
};
std::vector<StageFile> stageFilesWrittenByTools();

void resetToolStage();
