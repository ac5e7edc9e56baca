// The run record: what one run was and what happened to it, as one JSON object (schema 1),
// kept in the machine's state folder where a deployment tool's clean-up cannot reach it.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

struct RunRecord {
  // The computer's name, so that a record collected from many machines still names its own.
  std::string computerName;
  // "running", "flashing" or "finished".
  std::string state = "running";
  std::time_t started = 0;
  std::optional<std::time_t> ended;
  std::vector<std::string> arguments;
  // "update", "scan", "meinfo" or "systeminfo"; nothing when the command line could not be
  // read.
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
  // Whether a flash of this program waits for a restart (restart_pending.h); nothing until the
  // installed version was read.
  std::optional<bool> restartPending;
  // The names of the logs this run wrote in the working folder.
  std::vector<std::string> logs;
};

// The record as UTF-8 JSON text, one object and a line feed. A value not known is null.
std::string runRecordJson(const RunRecord& record);

// The most of a message's text a record keeps: a tool's error can carry all the tool printed,
// megabytes of it, and a record is read back on thousands of machines' worth of them.
constexpr std::size_t recordedMessageLimit = 64 * 1024;

// A message's text as the record keeps it: whole when it fits recordedMessageLimit bytes;
// otherwise its start, cut where no UTF-8 character is split, and a last line that says how
// much was kept, recordedMessageLimit bytes at most in all.
std::string recordedMessageText(const std::string& message);

// The code of a message as printed after "ERROR " or "CODE " ("2010s", "8193u"); empty when
// the text names none.
std::string messageCode(const std::string& message);

// A time as the record gives it: UTC, to the second ("2026-12-08T23:10:00Z").
std::string utcText(std::time_t time);

// The time such a text gives; nothing for a text of any other form.
std::optional<std::time_t> parseUtcText(const std::string& text);

// The calls the run makes as it goes. None of them prints anything or fails; a record that
// cannot be written costs one verbose line.

// At start: the time, the arguments and the working folder. Writes nothing.
void beginRunRecord(int argc, char** argv);
// Once the command line is read and a mode that is not a help screen starts: "running". A
// scan's record goes to last-scan.json alone (run_record_store.h).
void recordRunStart(const std::string& mode);
void noteProfile(int index, const std::string& kitboxFirmware);
void noteInstalledFirmware(const std::string& version);
void noteRestartPending(bool pending);
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
