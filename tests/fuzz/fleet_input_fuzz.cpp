// The fleet plan's input: a CSV file of machines or a run record, as collected from thousands
// of machines or written by whoever could write where they were collected. The first byte
// chooses the reader. Neither may fail, and each must read the same whatever its blocks.
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "mefwkit/kit_fleet_input.h"
#include "mefwkit/kit_fleet_record.h"
#include "process_state.h"

namespace {

using Json = nlohmann::json;

std::string described(const Fleet& fleet) {
  std::string text;
  for (const FleetMachine& machine : fleet.machines) {
    text += machine.name + "|" + machine.biosText + "|" + machine.installedVersion.value_or("-") +
            "|" + (machine.last ? machine.last->code + machine.last->time : "-") + "\n";
  }
  for (const FleetProblem& problem : fleet.unreadable) {
    text += problem.where + ": " + problem.why + "\n";
  }
  return text;
}

void checkCsv(const std::string& text, std::size_t block) {
  Fleet whole;
  readFleetCsvText(text, "fleet.csv", whole);
  Fleet pieces;
  readFleetCsvText(text, "fleet.csv", pieces, block);
  fuzzCheck(described(whole) == described(pieces),
            "the blocks changed what was read: " + printable(described(whole)) + " against " +
                printable(described(pieces)));
  for (const FleetMachine& machine : whole.machines) {
    fuzzCheck(!machine.name.empty() && !machine.biosText.empty(), "a machine without name or bios");
    fuzzCheck(machine.name.size() + machine.biosText.size() <= longestCsvRow,
              "a row longer than the limit was read");
  }
  for (const FleetProblem& problem : whole.unreadable) {
    fuzzCheck(problem.where.compare(0, 10, "fleet.csv:") == 0 && problem.where.size() > 10,
              "a problem without its line: " + printable(problem.where));
  }
}

const Json* memberAt(const Json& record, const char* outer, const char* inner) {
  if (!record.contains(outer)) return nullptr;
  const Json& value = record[outer];
  if (inner == nullptr) return &value;
  return value.is_object() && value.contains(inner) ? &value[inner] : nullptr;
}

// What the reader took must be what a whole-document reader finds in the same place.
void checkTaken(const Json& record, const char* outer, const char* inner,
                const std::string& taken) {
  const Json* value = memberAt(record, outer, inner);
  std::string expected = value != nullptr && value->is_string() ? value->get<std::string>() : "";
  fuzzCheck(taken == expected, std::string("the record's ") + outer + " was read as " +
                                   printable(taken) + ", not " + printable(expected));
}

void checkRecord(const std::string& text) {
  std::string problem;
  std::optional<RecordFacts> facts = readRecordFacts(text, problem);
  Json record = Json::parse(text, nullptr, false);
  if (!facts) {
    fuzzCheck(!problem.empty(), "a record refused without a reason");
    return;
  }
  fuzzCheck(!record.is_discarded() && record.is_object(), "a record read from what is not one");
  fuzzCheck(record.contains("schema") && record["schema"] == 1, "a record without schema 1");
  checkTaken(record, "bios", "text", facts->biosText);
  checkTaken(record, "firmware", "installed", facts->installed);
  checkTaken(record, "computerName", nullptr, facts->computerName);
  Fleet fleet;
  readFleetRecord(text, "last-run.json", "pc", fleet);
  fuzzCheck(fleet.machines.size() + fleet.unreadable.size() == 1, "a record is not one machine");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  resetProcessState();
  std::string text(asText(data + 2, size - 2));
  if (data[0] % 2 == 0) {
    checkCsv(text, 1 + data[1] % 64);
  } else {
    checkRecord(text);
  }
  return 0;
}
