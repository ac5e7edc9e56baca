// The events a run writes to the Windows Application log, for the monitoring that collects
// that log from every machine: one as a flash starts, one as any run but a help screen ends.
// The source is "mefwupdate". Writing an event prints nothing; a source that cannot be
// registered, or an event that cannot be written, costs one verbose line per run, never the
// run. The POSIX build writes none.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The event IDs: the end of a run has its exit code as its ID, the end of a scan
// scanEventBase + its exit code; exit codes from otherEventId on share otherEventId.
constexpr unsigned flashStartEventId = 9000;
constexpr unsigned otherEventId = 9999;
constexpr unsigned scanEventBase = 10000;

// An insertion string is cut to fewer than this many characters, with eventCutMark at its end.
constexpr std::size_t eventStringLimit = 280;
extern const char* const eventCutMark;

struct RunEvent {
  platform::EventLevel level = platform::EventLevel::information;
  unsigned id = 0;
  std::vector<std::string> strings;
};

// The flash start's event: the installed and the Kitbox's firmware, the Kitbox folder and the
// record's folder.
RunEvent flashStartEvent();

// The run end's event, from the finished run record: the coded message as printed (or what
// the run did, when it ended without one), the exit code, the installed and the Kitbox's
// firmware, the Kitbox folder, the record's folder and the mode. Information for 0, 1, 100,
// 3000 and 3001 and for every scan; a warning for 3002, 2015 and 2016, which ask for a later
// run; an error for everything else.
RunEvent runEndEvent();

// A text as an insertion string: unchanged when short enough, else cut with the mark.
std::string eventString(const std::string& text);

// Writes the event, registering the source first once per run.
void writeRunEvent(const RunEvent& event);

void resetRunEvents();
