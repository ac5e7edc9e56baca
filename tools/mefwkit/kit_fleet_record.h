// A run record as the fleet plan reads it: only the members it uses, from a text that must be
// one JSON object of schema 1 in which no object holds a key twice (a reader that took the
// first or the last of two would let a record say two things).
#pragma once

#include <optional>
#include <string>

#include "mefwkit/kit_fleet_input.h"

struct RecordFacts {
  std::string computerName;
  std::string mode;
  // The run's state, exit code, message code, and its end (its start while it has none).
  RunOutcome outcome;
  std::string biosText;
  std::string installed;
  std::string stamped;
  bool flashCompleted = false;
  std::optional<bool> restartPending;
};

// The facts of one record's text; nothing, with `problem` saying why, when it is not JSON,
// holds a key twice, nests deeper or holds larger objects than any record, or is not a run
// record of schema 1.
std::optional<RecordFacts> readRecordFacts(const std::string& text, std::string& problem);

// The firmware the machine has after the run: the stamped version where its flash completed,
// otherwise the installed one; empty when the record holds neither.
std::string firmwareAfter(const RecordFacts& facts);
