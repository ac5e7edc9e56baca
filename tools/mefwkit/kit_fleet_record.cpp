#include "mefwkit/kit_fleet_record.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace {

using Json = nlohmann::json;

// Records nest three levels and hold a few dozen members per object: anything far beyond is
// not one, and would only cost memory to read on.
const std::size_t deepestNesting = 32;
const std::size_t mostMembers = 1000;

const char* const notARecord = "not a run record of schema 1";

// One open object or array, with the keys seen in an object and the key of its next value.
struct Level {
  bool object = false;
  std::set<std::string> keys;
  std::string key;
};

// Reads the record as it is parsed, keeping only what the fleet plan uses: no document is
// built, so a record costs little more than its text.
struct RecordReader {
  RecordFacts facts;
  std::string problem;
  std::vector<Level> levels;
  bool started = false;
  bool schemaOne = false;

  bool stop(const std::string& why) {
    if (problem.empty()) problem = why;
    return false;
  }

  // The member a value belongs to: "key" at the top, "outer.key" one object down; empty
  // elsewhere.
  std::string memberPath() const {
    if (levels.size() == 1) return levels[0].key;
    if (levels.size() == 2 && levels[1].object) return levels[0].key + "." + levels[1].key;
    return "";
  }

  bool value() { return started || stop(notARecord); }

  bool text(const std::string& member, const std::string& value) {
    if (member == "computerName") facts.computerName = value;
    if (member == "mode") facts.mode = value;
    if (member == "state") facts.outcome.state = value;
    if (member == "started" && facts.outcome.time.empty()) facts.outcome.time = value;
    if (member == "ended") facts.outcome.time = value;
    if (member == "message.code") facts.outcome.code = value;
    if (member == "bios.text") facts.biosText = value;
    if (member == "firmware.installed") facts.installed = value;
    if (member == "firmware.stamped") facts.stamped = value;
    return true;
  }

  bool integer(std::int64_t number) {
    std::string member = memberPath();
    if (member == "schema") schemaOne = number == 1;
    if (member == "exitCode" && number >= INT32_MIN && number <= INT32_MAX) {
      facts.outcome.exitCode = static_cast<int>(number);
    }
    return true;
  }

  bool null() { return value(); }
  bool boolean(bool flag) {
    std::string member = memberPath();
    if (member == "flash.completed") facts.flashCompleted = flag;
    if (member == "restartPending") facts.restartPending = flag;
    return value();
  }
  bool number_integer(Json::number_integer_t number) { return value() && integer(number); }
  bool number_unsigned(Json::number_unsigned_t number) {
    return value() && integer(number > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(number));
  }
  bool number_float(Json::number_float_t, const Json::string_t&) { return value(); }
  bool string(Json::string_t& value) { return this->value() && text(memberPath(), value); }
  bool binary(Json::binary_t&) { return value(); }

  bool open(bool object) {
    if (!started && !object) return stop(notARecord);
    started = true;
    if (levels.size() >= deepestNesting) return stop("nested deeper than any run record");
    levels.push_back({object, {}, ""});
    return true;
  }
  bool start_object(std::size_t) { return open(true); }
  bool start_array(std::size_t) { return open(false); }
  bool end_object() {
    levels.pop_back();
    return true;
  }
  bool end_array() { return end_object(); }

  bool key(Json::string_t& name) {
    Level& level = levels.back();
    if (!level.keys.insert(name).second) return stop("the key \"" + name + "\" twice");
    if (level.keys.size() > mostMembers) return stop("an object larger than any run record's");
    level.key = name;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return stop("not JSON");
  }
};

// The text a record gives for a time, when it is one ("2026-12-08T23:11:02Z").
bool isRecordTime(const std::string& text) {
  return text.size() == 20 && text[4] == '-' && text[10] == 'T' && text.back() == 'Z';
}

}  // namespace

std::optional<RecordFacts> readRecordFacts(const std::string& text, std::string& problem) {
  RecordReader reader;
  bool parsed = Json::sax_parse(text, &reader);
  if (!parsed || !reader.problem.empty()) {
    problem = reader.problem.empty() ? "not JSON" : reader.problem;
    return std::nullopt;
  }
  if (!reader.schemaOne) {
    problem = notARecord;
    return std::nullopt;
  }
  if (!isRecordTime(reader.facts.outcome.time)) reader.facts.outcome.time.clear();
  return reader.facts;
}

std::string firmwareAfter(const RecordFacts& facts) {
  return facts.flashCompleted && !facts.stamped.empty() ? facts.stamped : facts.installed;
}
