#include "app/run_record.h"

#include <chrono>

#include "app/product_version.h"
#include "app/run_record_store.h"
#include "console/json_text.h"
#include "console/log_files.h"
#include "platform/platform.h"
#include "system/bios_query.h"

namespace {

RunRecord& record() {
  static RunRecord current;
  return current;
}

std::time_t now() { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); }

std::string textOrNull(const std::string& text) { return jsonStringOrNull(text); }

template <typename T, typename Show>
std::string valueOrNull(const std::optional<T>& value, Show show) {
  return value ? show(*value) : "null";
}

std::string boolText(bool value) { return value ? "true" : "false"; }

std::string messageJson(const std::string& message) {
  if (message.empty()) return "null";
  return jsonObject({{"code", textOrNull(messageCode(message))},
                     {"text", jsonString(recordedMessageText(message))}});
}

std::string biosJson(const RunRecord& run) {
  if (run.biosText.empty()) return "null";
  return jsonObject({{"text", jsonString(run.biosText)}, {"source", textOrNull(run.biosSource)}});
}

std::string textsJson(const std::vector<std::string>& texts) {
  std::vector<std::string> items;
  for (const std::string& text : texts) {
    items.push_back(jsonString(text));
  }
  return jsonArray(items);
}

// The BIOS reading is the query's own; it is taken as the record is written.
void takeBiosReading(RunRecord& run) {
  BiosReading reading = lastBiosReading();
  run.biosText = reading.text;
  run.biosSource = reading.source;
}

}  // namespace

std::string utcText(std::time_t time) {
  std::tm* parts = std::gmtime(&time);
  if (parts == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", parts);
  return text;
}

std::string recordedMessageText(const std::string& message) {
  if (message.size() <= recordedMessageLimit) return message;
  // The count kept has as many digits as the limit, so the mark's length is known first.
  std::string total = std::to_string(message.size());
  std::size_t markLength = std::string("\n[cut: only the first  of  bytes are kept]").size() +
                           std::to_string(recordedMessageLimit).size() + total.size();
  std::size_t kept = recordedMessageLimit - markLength;
  while (kept > 0 && (static_cast<unsigned char>(message[kept]) & 0xC0) == 0x80) {
    --kept;
  }
  return message.substr(0, kept) + "\n[cut: only the first " + std::to_string(kept) + " of " +
         total + " bytes are kept]";
}

namespace {

bool readNumber(const std::string& text, std::size_t at, std::size_t digits, int& number) {
  number = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (Howard Hinnant's
// algorithm), so that no time zone of the machine comes into it.
long long daysSinceEpoch(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  long long era = (year >= 0 ? year : year - 399) / 400;
  long long yearOfEra = year - era * 400;
  long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<std::time_t> parseUtcText(const std::string& text) {
  // "YYYY-MM-DDTHH:MM:SSZ"
  int year, month, day, hour, minute, second;
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z' || !readNumber(text, 0, 4, year) ||
      !readNumber(text, 5, 2, month) || !readNumber(text, 8, 2, day) ||
      !readNumber(text, 11, 2, hour) || !readNumber(text, 14, 2, minute) ||
      !readNumber(text, 17, 2, second) || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  return static_cast<std::time_t>(daysSinceEpoch(year, month, day) * 86400 + hour * 3600 +
                                  minute * 60 + second);
}

std::string messageCode(const std::string& message) {
  std::size_t at = 0;
  if (message.compare(0, 6, "ERROR ") == 0) {
    at = 6;
  } else if (message.compare(0, 5, "CODE ") == 0) {
    at = 5;
  } else {
    return "";
  }
  at = message.find_first_not_of(' ', at);
  std::size_t colon = message.find(':', at == std::string::npos ? message.size() : at);
  if (at == std::string::npos || colon == std::string::npos || colon == at) return "";
  std::string code = message.substr(at, colon - at);
  return code.find_first_of(" \n") == std::string::npos ? code : "";
}

std::string runRecordJson(const RunRecord& run) {
  auto number = [](int value) { return std::to_string(value); };
  auto flag = [](bool value) { return boolText(value); };
  auto time = [](std::time_t value) { return jsonString(utcText(value)); };
  std::string firmware = jsonObject({{"installed", textOrNull(run.installedFirmware)},
                                     {"kitbox", textOrNull(run.kitboxFirmware)},
                                     {"stamped", textOrNull(run.stampedFirmware)}});
  std::string flash = jsonObject({{"started", valueOrNull(run.flashStarted, flag)},
                                  {"completed", valueOrNull(run.flashCompleted, flag)},
                                  {"leftover", valueOrNull(run.flashLeftover, flag)}});
  return jsonObject({{"schema", "1"},
                     {"program", jsonString("mefwupdate")},
                     {"programVersion", jsonString(MEFW_PRODUCT_VERSION)},
                     {"computerName", textOrNull(run.computerName)},
                     {"state", jsonString(run.state)},
                     {"started", jsonString(utcText(run.started))},
                     {"ended", valueOrNull(run.ended, time)},
                     {"arguments", textsJson(run.arguments)},
                     {"mode", valueOrNull(run.mode, jsonString)},
                     {"kitbox", textOrNull(run.kitbox)},
                     {"exitCode", valueOrNull(run.exitCode, number)},
                     {"message", messageJson(run.message)},
                     {"bios", biosJson(run)},
                     {"profile", valueOrNull(run.profile, number)},
                     {"firmware", firmware},
                     {"flash", flash},
                     {"restartRequested", valueOrNull(run.restartRequested, flag)},
                     {"restartPending", valueOrNull(run.restartPending, flag)},
                     {"logs", textsJson(run.logs)}}) +
         "\n";
}

void beginRunRecord(int argc, char** argv) {
  RunRecord& run = record();
  run.started = now();
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr) run.arguments.push_back(argv[i]);
  }
  run.kitbox = platform::workingFolder();
  run.computerName = platform::computerName();
}

void recordRunStart(const std::string& mode) {
  RunRecord& run = record();
  run.mode = mode;
  run.state = "running";
  writeRunRecord(run, false);
}

void noteProfile(int index, const std::string& kitboxFirmware) {
  record().profile = index;
  record().kitboxFirmware = kitboxFirmware;
}

void noteInstalledFirmware(const std::string& version) { record().installedFirmware = version; }

void noteRestartPending(bool pending) { record().restartPending = pending; }

void noteStampedFirmware(const std::string& version) { record().stampedFirmware = version; }

void recordFlashStart() {
  RunRecord& run = record();
  run.state = "flashing";
  run.flashStarted = true;
  takeBiosReading(run);
  writeRunRecord(run, false);
}

void noteFlashCompleted() { record().flashCompleted = true; }

void noteFlashLeftover(bool leftover) { record().flashLeftover = leftover; }

void noteRunMessage(const std::string& message) { record().message = message; }

void recordRunEnd(int exitCode, bool restartRequested) {
  RunRecord& run = record();
  run.state = "finished";
  run.ended = now();
  run.exitCode = exitCode;
  run.restartRequested = restartRequested;
  bool started = run.flashStarted.value_or(false);
  run.flashStarted = started;
  run.flashCompleted =
      started ? std::optional<bool>(run.flashCompleted.value_or(false)) : std::nullopt;
  run.flashLeftover =
      started ? std::optional<bool>(run.flashLeftover.value_or(false)) : std::nullopt;
  takeBiosReading(run);
  run.logs = logFilesWritten();
  writeRunRecord(run, true);
}

const RunRecord& currentRunRecord() { return record(); }

void resetRunRecord() {
  record() = RunRecord{};
  resetRunRecordStore();
}
