#include "mefwkit/kit_fleet_input.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/platform.h"

namespace {

using Json = nlohmann::json;

// A folder nested deeper than this is not walked: collected records are a few levels down.
const int deepestFolder = 16;

struct CsvRow {
  std::vector<std::string> fields;
  int line = 0;
  std::string problem;
};

// Reads one row from `at`, leaving `at` after its line end; `line` counts the line feeds.
CsvRow readCsvRow(const std::string& text, std::size_t& at, int& line) {
  CsvRow row;
  row.line = line;
  std::string field;
  bool quoted = false;
  bool afterQuote = false;
  bool fieldStart = true;
  while (at < text.size()) {
    char c = text[at++];
    if (quoted) {
      if (c == '\n') ++line;
      if (c != '"') {
        field += c;
      } else if (at < text.size() && text[at] == '"') {
        field += '"';
        ++at;
      } else {
        quoted = false;
        afterQuote = true;
      }
      continue;
    }
    if (c == ',') {
      row.fields.push_back(field);
      field.clear();
      afterQuote = false;
      fieldStart = true;
      continue;
    }
    if (c == '\n' || (c == '\r' && at < text.size() && text[at] == '\n')) {
      if (c == '\r') ++at;
      ++line;
      row.fields.push_back(field);
      return row;
    }
    if (c == '"' && fieldStart) {
      quoted = true;
      fieldStart = false;
      continue;
    }
    if (row.problem.empty() && (afterQuote || c == '"')) {
      row.problem = afterQuote ? "text after a closing quote" : "a quote inside an unquoted field";
    }
    fieldStart = false;
    field += c;
  }
  if (quoted) row.problem = "a quote that is never closed";
  row.fields.push_back(field);
  return row;
}

bool isBlank(const CsvRow& row) { return row.fields.size() == 1 && row.fields[0].empty(); }

std::optional<std::size_t> columnOf(const std::vector<std::string>& header,
                                    const std::string& name) {
  auto found = std::find(header.begin(), header.end(), name);
  if (found == header.end()) return std::nullopt;
  return static_cast<std::size_t>(found - header.begin());
}

std::string rowProblem(const CsvRow& row, const std::size_t (&columns)[3]) {
  if (!row.problem.empty()) return row.problem;
  static const char* const names[3] = {"name", "bios", "me"};
  for (int i = 0; i < 3; ++i) {
    if (columns[i] >= row.fields.size()) {
      return "has " + std::to_string(row.fields.size()) + " fields, too few for the column " +
             names[i];
    }
    if (row.fields[columns[i]].empty()) return std::string("no ") + names[i];
  }
  return "";
}

const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

std::string textAt(const Json& object, const char* key, const char* inner = nullptr) {
  const Json* value = member(object, key);
  if (value != nullptr && inner != nullptr) value = member(*value, inner);
  return value != nullptr && value->is_string() ? value->get<std::string>() : "";
}

bool flashCompleted(const Json& record) {
  const Json* flash = member(record, "flash");
  const Json* completed = flash != nullptr ? member(*flash, "completed") : nullptr;
  return completed != nullptr && completed->is_boolean() && completed->get<bool>();
}

std::string lastPart(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) {
    trimmed.pop_back();
  }
  std::size_t cut = trimmed.find_last_of("/\\");
  return cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
}

std::string joined(const std::string& folder, const std::string& name) {
  bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
  return separated ? folder + name : folder + "/" + name;
}

std::optional<std::string> wholeFile(const std::string& path) {
  std::optional<platform::FilePart> file =
      platform::readFilePart(path, 0, std::numeric_limits<std::uint64_t>::max());
  if (!file) return std::nullopt;
  return file->bytes;
}

void readRecordsIn(const std::string& folder, int depth, Fleet& fleet) {
  std::optional<std::vector<std::string>> files = platform::filesInFolder(folder);
  if (files) {
    std::sort(files->begin(), files->end());
    for (const std::string& name : *files) {
      if (name != "result.json" && name != "last-run.json") continue;
      std::string path = joined(folder, name);
      std::optional<std::string> text = wholeFile(path);
      if (!text) {
        fleet.unreadable.push_back({path, "cannot be read"});
        continue;
      }
      readFleetRecord(*text, path, lastPart(folder), fleet);
    }
  }
  std::optional<std::vector<std::string>> folders = platform::foldersInFolder(folder);
  if (!folders || depth >= deepestFolder) return;
  std::sort(folders->begin(), folders->end());
  for (const std::string& name : *folders) {
    readRecordsIn(joined(folder, name), depth + 1, fleet);
  }
}

}  // namespace

void readFleetCsv(const std::string& text, const std::string& source, Fleet& fleet) {
  std::size_t at = 0;
  int line = 1;
  CsvRow header = readCsvRow(text, at, line);
  std::size_t columns[3] = {0, 0, 0};
  const char* const names[3] = {"name", "bios", "me"};
  for (int i = 0; i < 3; ++i) {
    std::optional<std::size_t> column = columnOf(header.fields, names[i]);
    if (!column || !header.problem.empty()) {
      fleet.unreadable.push_back(
          {source + ":1", "the header row needs the columns name, bios and me"});
      return;
    }
    columns[i] = *column;
  }
  while (at < text.size()) {
    CsvRow row = readCsvRow(text, at, line);
    if (isBlank(row)) continue;
    std::string problem = rowProblem(row, columns);
    if (!problem.empty()) {
      fleet.unreadable.push_back({source + ":" + std::to_string(row.line), problem});
      continue;
    }
    fleet.machines.push_back(
        {row.fields[columns[0]], row.fields[columns[1]], row.fields[columns[2]]});
  }
}

void readFleetRecord(const std::string& text, const std::string& path, const std::string& name,
                     Fleet& fleet) {
  Json record = Json::parse(text, nullptr, false);
  if (record.is_discarded()) {
    fleet.unreadable.push_back({path, "not JSON"});
    return;
  }
  const Json* schema = member(record, "schema");
  if (schema == nullptr || !schema->is_number_integer() || schema->get<long long>() != 1) {
    fleet.unreadable.push_back({path, "not a run record of schema 1"});
    return;
  }
  std::string bios = textAt(record, "bios", "text");
  std::string stamped = textAt(record, "firmware", "stamped");
  std::string installed = flashCompleted(record) && !stamped.empty()
                              ? stamped
                              : textAt(record, "firmware", "installed");
  if (bios.empty()) {
    fleet.unreadable.push_back({path, "no BIOS version"});
  } else if (installed.empty()) {
    fleet.unreadable.push_back({path, "no installed firmware version"});
  } else {
    fleet.machines.push_back({name, bios, installed});
  }
}

bool readFleet(const std::string& path, Fleet& fleet) {
  if (platform::foldersInFolder(path)) {
    readRecordsIn(path, 0, fleet);
    return true;
  }
  std::optional<std::string> text = wholeFile(path);
  if (!text) return false;
  readFleetCsv(*text, path, fleet);
  return true;
}
