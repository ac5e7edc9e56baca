#include "app/run_events.h"

#include "app/run_record.h"
#include "app/run_record_store.h"
#include "console/messages.h"

const char* const eventCutMark = " [cut]";

namespace {

struct EventState {
  bool registered = false;
  bool complained = false;
};

EventState& state() {
  static EventState current;
  return current;
}

void complain(const std::string& problem) {
  if (state().complained) return;
  state().complained = true;
  printVerbose("The event was not written: " + problem + "\n", "default");
}

std::string orUnknown(const std::string& text) { return text.empty() ? "unknown" : text; }

std::string recordFolderText() {
  std::string folder = runRecordFolder();
  return folder.empty() ? "none" : folder;
}

// Versions come from a tool's output and paths from the machine: any of them may be long.
std::vector<std::string> eventStrings(std::vector<std::string> texts) {
  for (std::string& text : texts) {
    text = eventString(text);
  }
  return texts;
}

bool isScan(const RunRecord& run) { return run.mode == std::optional<std::string>("scan"); }

// What a run that ended without a coded message did.
std::string outcomeText(const RunRecord& run) {
  int code = run.exitCode.value_or(0);
  std::string versions = orUnknown(run.installedFirmware) + " to " + orUnknown(run.kitboxFirmware);
  if (isScan(run)) return "Scan: this computer would be updated from " + versions + ".";
  if (code == 100) return "The user declined the update.";
  if (run.mode == std::optional<std::string>("meinfo")) {
    return "The MEInfo report was written to meInfoVerbose.txt.";
  }
  if (run.mode == std::optional<std::string>("systeminfo")) {
    return "The system information was listed.";
  }
  return "The firmware was updated from " + versions + ".";
}

platform::EventLevel runEndLevel(const RunRecord& run, int exitCode) {
  if (isScan(run)) return platform::EventLevel::information;
  switch (exitCode) {
    case 0:
    case 1:
    case 100:
    case 3000:
    case 3001:
      return platform::EventLevel::information;
    case 2015:
    case 2016:
    case 3002:
      return platform::EventLevel::warning;
    default:
      return platform::EventLevel::error;
  }
}

unsigned runEndId(const RunRecord& run, int exitCode) {
  unsigned id = exitCode >= 0 && exitCode < static_cast<int>(flashStartEventId)
                    ? static_cast<unsigned>(exitCode)
                    : otherEventId;
  return isScan(run) ? scanEventBase + id : id;
}

}  // namespace

std::string eventString(const std::string& text) {
  if (text.size() < eventStringLimit) return text;
  std::string mark = eventCutMark;
  return text.substr(0, eventStringLimit - 1 - mark.size()) + mark;
}

RunEvent flashStartEvent() {
  const RunRecord& run = currentRunRecord();
  return {platform::EventLevel::information, flashStartEventId,
          eventStrings({orUnknown(run.installedFirmware), orUnknown(run.kitboxFirmware), run.kitbox,
                        recordFolderText()})};
}

RunEvent runEndEvent() {
  const RunRecord& run = currentRunRecord();
  int exitCode = run.exitCode.value_or(0);
  std::string message = run.message.empty() ? outcomeText(run) : run.message;
  return {runEndLevel(run, exitCode), runEndId(run, exitCode),
          eventStrings({message, std::to_string(exitCode), orUnknown(run.installedFirmware),
                        orUnknown(run.kitboxFirmware), run.kitbox, recordFolderText(),
                        run.mode.value_or("none: the command line could not be read")})};
}

void writeRunEvent(const RunEvent& event) {
  // The event must never be in the run's way, whatever fails while it is written.
  try {
    if (!state().registered) {
      state().registered = true;
      std::string problem = platform::registerEventSource(stateFolderPath());
      if (!problem.empty()) complain("the event source was not registered: " + problem);
    }
    std::string problem = platform::reportEvent(event.level, event.id, event.strings);
    if (!problem.empty()) complain(problem);
  } catch (const std::exception& failure) {
    complain(failure.what());
  }
}

void resetRunEvents() { state() = EventState{}; }
