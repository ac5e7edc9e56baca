// The run record: what one run was and what happened to it, as one JSON object (schema 1),
// kept in the machine's state folder where a deployment tool's clean-up cannot reach it.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

struct RunRecord {
  // "running", "flashing" or "finished".
  std::string state = "running";
  std::time_t started = 0;
  std::optional<std::time_t> ended;
  std::vector<std::string> arguments;
  // "update", "meinfo" or "systeminfo"; nothing when the command line could not be read.
  std::optional<std::string> mode;
  std::string kitbox;
  std::optional<int> exitCode;
  // The coded message the run ended with; empty for none.
  std::string message;
  std::string biosText;
  std::string biosSource;
  std::optional<int> profile;
  std::string installedFirmware;
  std::string kitboxFirmware;
  std::string stampedFirmware;
  std::optional<bool> flashStarted;
  std::optional<bool> flashCompleted;
  // Whether the flash's output was let go of while something the flash started still ran;
  // nothing when no flash started.
  std::optional<bool> flashLeftover;
  std::optional<bool> restartRequested;
  // The names of the logs this run wrote in the working folder.
  std::vector<std::string> logs;
};

// The record as UTF-8 JSON text, one object and a line feed. A value not known is null.
std::string runRecordJson(const RunRecord& record);

// The code of a message as printed after "ERROR " or "CODE " ("2010s", "8193u"); empty when
// the text names none.
std::string messageCode(const std::string& message);

// A time as the record gives it: UTC, to the second ("2026-12-08T23:10:00Z").
std::string utcText(std::time_t time);

// The calls the run makes as it goes. None of them prints anything or fails; a record that
// cannot be written costs one verbose line.

// At start: the time, the arguments and the working folder. Writes nothing.
void beginRunRecord(int argc, char** argv);
// Once the command line is read and a mode that is not a help screen starts: "running".
void recordRunStart(const std::string& mode);
void noteProfile(int index, const std::string& kitboxFirmware);
void noteInstalledFirmware(const std::string& version);
void noteStampedFirmware(const std::string& version);
// Just before the flash: "flashing", also in last-flash.json.
void recordFlashStart();
void noteFlashCompleted();
// Once the flash's output has ended: whether something the flash started was left running.
void noteFlashLeftover(bool leftover);
void noteRunMessage(const std::string& message);
// At the very end, before the closing pause: "finished", with the run's logs copied.
void recordRunEnd(int exitCode, bool restartRequested);

// The record as it stands (for tests), and its reset.
const RunRecord& currentRunRecord();
void resetRunRecord();
