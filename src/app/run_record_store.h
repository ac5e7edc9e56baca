// Where run records are kept: the state folder of the machine, with one folder per run under
// runs\, named by the run's start (UTC) and process id, holding result.json and copies of the
// run's logs; last-run.json and last-flash.json at the top. Only the newest runs are kept. A
// scan's record is last-scan.json at the top, alone: no run folder, no log copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/run_record.h"

// How many run folders are kept.
constexpr std::size_t keptRunFolders = 20;
// A log copy keeps at most this many of the log's last bytes.
constexpr std::uint64_t logCopyLimit = 4 * 1024 * 1024;
// The largest record file read back; ours are a few kilobytes.
constexpr std::uint64_t stateFileLimit = 1024 * 1024;

// Writes the record by atomic replaces: the run's result.json, last-run.json, and
// last-flash.json when the run started a flash; with the logs copied when asked. The state
// folder and the run's folder are opened and checked at the first write; when they cannot be
// used, or a write fails, one verbose line says so, once per run, and nothing else changes.
void writeRunRecord(const RunRecord& record, bool copyLogs);

// The run folders to remove so that `kept` are left: the oldest by the time in their name, then
// by process id as a number. Names of another form are none of ours and are never listed.
std::vector<std::string> runFoldersToPrune(const std::vector<std::string>& names, std::size_t kept);

// The name of a run's folder: "YYYYMMDDTHHMMSSZ-<process id>".
std::string runFolderName(std::time_t started, unsigned long processId);

// The first line of a log's copy, which says that only its last logCopyLimit bytes were kept;
// empty for a log no longer than that, which is copied whole.
std::string logCopyHeader(std::uint64_t wholeSize);

// The state folder, opened (and checked) if no record did so yet; empty when it cannot be used,
// which costs the record's one verbose line.
std::string stateFolderPath();

// A file at the top of the state folder (last-flash.json), whole; nothing when it cannot be
// read or is larger than stateFileLimit.
std::optional<std::string> readStateFile(const std::string& name);

// Where this run's record is: its run folder, else the state folder (a scan), else empty.
std::string runRecordFolder();

void resetRunRecordStore();
