// The machines of a fleet, as the planner reads them: from a CSV file with the columns
// name,bios,me (as Excel and PowerShell write it), or from a folder of collected state folders
// and run records. What cannot be read is kept apart with where and why. Input comes from
// thousands of machines and from whoever could write where they were collected, so every file
// is bounded, read only when it is a regular file, and never trusted to be well formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The largest record file read; a larger one is unreadable. A record is a few kilobytes, its
// message text at most 64 KiB.
constexpr std::uint64_t largestRecordFile = 8 * 1024 * 1024;
// The longest CSV row and the most fields one may have; longer rows are unreadable.
constexpr std::size_t longestCsvRow = 64 * 1024;
constexpr std::size_t mostCsvFields = 256;

// How a run ended, as a record or the collected CSV tells it.
struct RunOutcome {
  // "running", "flashing" or "finished"; empty when not known.
  std::string state;
  std::optional<int> exitCode;
  // The message code, such as "3002n"; empty for none.
  std::string code;
  // When it ended, or started while it had not ended, as the record gives it (UTC).
  std::string time;
};

struct FleetMachine {
  // As the admin collected it: the CSV's name, or the folder's.
  std::string name;
  // As the machine's own record names it; empty when not known.
  std::string computerName;
  // As `plan` reads --bios and --me; no installed version when no record or row holds one.
  std::string biosText;
  std::optional<std::string> installedVersion;
  // The machine's last run, and its last scan, where known.
  std::optional<RunOutcome> last;
  std::optional<RunOutcome> lastScan;
  // The state of the last run that started a flash: "flashing" while it never finished.
  std::string lastFlashState;
  std::optional<bool> restartPending;
};

struct FleetProblem {
  std::string where;  // "FILE:LINE" for a CSV row, the path for a record or a folder
  std::string why;
};

// Machines in a deque: a fleet of a hundred thousand grows without being moved as it grows.
using FleetMachines = std::deque<FleetMachine>;

struct Fleet {
  FleetMachines machines;
  std::vector<FleetProblem> unreadable;
};

// Replaces its argument with the next bytes of a file; false at its end.
using MoreBytes = std::function<bool(std::string& bytes)>;

// The machines of a CSV file, fed as it is read, one row at a time. Its encoding is UTF-8 with
// or without a byte-order mark, UTF-16 LE or BE with one, or any 8-bit code page, byte for
// byte. `source` names the file in the problems.
void readFleetCsv(const MoreBytes& more, const std::string& source, Fleet& fleet);

// The same for a text in memory, fed `block` bytes at a time.
void readFleetCsvText(const std::string& text, const std::string& source, Fleet& fleet,
                      std::size_t block = 64 * 1024);

// One run record's JSON text, taken as the only record of a machine called `name`.
void readFleetRecord(const std::string& text, const std::string& path, const std::string& name,
                     Fleet& fleet);

// A folder of collected state folders and run records, or else a CSV file. Empty when it was
// read; otherwise why not: neither a folder nor a regular file, or a file that cannot be read.
std::string readFleet(const std::string& path, Fleet& fleet);
