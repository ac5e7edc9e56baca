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
  return jsonObject({{"code", textOrNull(messageCode(message))}, {"text", jsonString(message)}});
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
