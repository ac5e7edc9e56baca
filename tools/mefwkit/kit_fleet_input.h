// The machines of a fleet, as the planner reads them: from a CSV file with the columns
// name,bios,me, or from a folder of collected run records (result.json or last-run.json, in any
// subfolder, each named by its folder). What cannot be read is kept apart with where and why.
#pragma once

#include <string>
#include <vector>

struct FleetMachine {
  std::string name;
  // As `plan` reads --bios and --me.
  std::string biosText;
  std::string installedVersion;
};

struct FleetProblem {
  std::string where;  // "FILE:LINE" for a CSV row, the path for a record
  std::string why;
};

struct Fleet {
  std::vector<FleetMachine> machines;
  std::vector<FleetProblem> unreadable;
};

// The rows of a CSV text (RFC 4180: quoted fields, doubled quotes, line breaks inside quotes,
// CR LF or LF); the first row is the header. `source` names the file in the problems.
void readFleetCsv(const std::string& text, const std::string& source, Fleet& fleet);

// One run record's JSON text; the machine is called `name`. Its BIOS text, and its firmware:
// the stamped version where the run's flash completed, otherwise the installed one.
void readFleetRecord(const std::string& text, const std::string& path, const std::string& name,
                     Fleet& fleet);

// A folder of records, or else a CSV file. False when the path is neither a folder nor a
// readable file.
bool readFleet(const std::string& path, Fleet& fleet);
