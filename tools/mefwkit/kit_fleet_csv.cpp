// The fleet's CSV file, as Windows tools write it: Excel's "CSV UTF-8" and Windows PowerShell's
// -Encoding UTF8 start with a byte-order mark, PowerShell's Export-Csv puts a #TYPE line and
// quoted headers first, Out-File writes UTF-16, and a list separator of ";" comes from the
// regional settings. It is read a block at a time and a row at a time, so that a file of any
// size costs the memory of one row, and a row at most longestCsvRow bytes.
#include <algorithm>
#include <string_view>

#include "mefwkit/kit_fleet_input.h"
#include "settings/text_case.h"

namespace {

// The encodings read, as the complaint about any other names them.
const char* const encodingsRead =
    "the file's encoding cannot be read: save it as UTF-8 (with or without a byte-order mark), "
    "as UTF-16 LE or BE with a byte-order mark, or in the ANSI code page";

enum class Encoding { undecided, bytes, utf16le, utf16be, unreadable };

struct Decoder {
  Encoding encoding = Encoding::undecided;
  // The file's first bytes until its byte-order mark is known, then half a UTF-16 unit.
  std::string pending;
  unsigned highSurrogate = 0;
};

void appendUtf8(unsigned point, std::string& text) {
  if (point < 0x80) {
    text += static_cast<char>(point);
  } else if (point < 0x800) {
    text += static_cast<char>(0xC0 | (point >> 6));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    text += static_cast<char>(0xE0 | (point >> 12));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (point >> 18));
    text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  }
}

const unsigned replacementCharacter = 0xFFFD;

// A surrogate without its other half stands for the replacement character.
void takeUtf16Unit(Decoder& decoder, unsigned unit, std::string& text) {
  bool low = unit >= 0xDC00 && unit <= 0xDFFF;
  if (decoder.highSurrogate != 0 && !low) {
    appendUtf8(replacementCharacter, text);
    decoder.highSurrogate = 0;
  }
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    decoder.highSurrogate = unit;
  } else if (low && decoder.highSurrogate != 0) {
    appendUtf8(0x10000 + ((decoder.highSurrogate - 0xD800) << 10) + (unit - 0xDC00), text);
    decoder.highSurrogate = 0;
  } else {
    appendUtf8(low ? replacementCharacter : unit, text);
  }
}

bool startsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// The encoding the byte-order mark names, and the mark's length. UTF-32's marks begin like
// UTF-16's, so they are told apart first.
std::pair<Encoding, std::size_t> byteOrderMark(std::string_view start) {
  using namespace std::string_view_literals;
  if (startsWith(start, "\xFF\xFE\x00\x00"sv) || startsWith(start, "\x00\x00\xFE\xFF"sv)) {
    return {Encoding::unreadable, 0};
  }
  if (startsWith(start, "\xEF\xBB\xBF"sv)) return {Encoding::bytes, 3};
  if (startsWith(start, "\xFF\xFE"sv)) return {Encoding::utf16le, 2};
  if (startsWith(start, "\xFE\xFF"sv)) return {Encoding::utf16be, 2};
  return {Encoding::bytes, 0};
}

// Appends the UTF-8 text of the next bytes to `text` (8-bit text passes unchanged); `last` at
// the end of the file.
void decode(Decoder& decoder, std::string_view bytes, bool last, std::string& text) {
  decoder.pending.append(bytes);
  if (decoder.encoding == Encoding::undecided) {
    if (decoder.pending.size() < 4 && !last) return;
    auto [encoding, mark] = byteOrderMark(decoder.pending);
    decoder.encoding = encoding;
    decoder.pending.erase(0, mark);
  }
  if (decoder.encoding == Encoding::unreadable) {
    decoder.pending.clear();
    return;
  }
  if (decoder.encoding == Encoding::bytes) {
    text += decoder.pending;
    decoder.pending.clear();
    return;
  }
  bool bigEndian = decoder.encoding == Encoding::utf16be;
  std::size_t whole = decoder.pending.size() / 2 * 2;
  for (std::size_t i = 0; i < whole; i += 2) {
    unsigned first = static_cast<unsigned char>(decoder.pending[i]);
    unsigned second = static_cast<unsigned char>(decoder.pending[i + 1]);
    takeUtf16Unit(decoder, bigEndian ? (first << 8) | second : (second << 8) | first, text);
  }
  decoder.pending.erase(0, whole);
  if (last && (decoder.highSurrogate != 0 || !decoder.pending.empty())) {
    appendUtf8(replacementCharacter, text);
  }
}

struct CsvRow {
  std::vector<std::string> fields;
  int line = 0;
  std::string problem;
};

enum class CsvState { unquoted, quoted, quoteInQuoted };

// RFC 4180 rows: quoted fields, doubled quotes, line breaks inside quotes, CR LF or LF.
struct CsvParse {
  CsvRow row;
  std::string field;
  CsvState state = CsvState::unquoted;
  bool rowStarted = false;
  bool fieldStart = true;
  bool afterQuote = false;
  bool pendingCarriageReturn = false;
  std::size_t rowBytes = 0;
  bool tooLong = false;
  bool tooManyFields = false;
  bool nulByte = false;
  int line = 1;
};

void addChar(CsvParse& parse, char c) {
  if (!parse.tooLong) parse.field += c;
}

void endField(CsvParse& parse) {
  if (parse.row.fields.size() < mostCsvFields) {
    if (!parse.tooLong) parse.row.fields.push_back(parse.field);
  } else {
    parse.tooManyFields = true;
  }
  parse.field.clear();
  parse.fieldStart = true;
  parse.afterQuote = false;
}

std::string rowProblem(const CsvParse& parse) {
  if (parse.tooLong) return "a row longer than " + std::to_string(longestCsvRow / 1024) + " KiB";
  if (parse.tooManyFields) return "more than " + std::to_string(mostCsvFields) + " fields";
  if (parse.nulByte) return "a NUL byte";
  return parse.row.problem;
}

template <typename Sink>
void endRow(CsvParse& parse, Sink& sink) {
  endField(parse);
  parse.row.problem = rowProblem(parse);
  if (parse.tooLong) parse.row.fields.clear();
  sink(parse.row);
  int line = parse.line;
  parse = CsvParse{};
  parse.line = line;
}

void takePlainChar(CsvParse& parse, char c) {
  if (parse.row.problem.empty() && (parse.afterQuote || c == '"')) {
    parse.row.problem =
        parse.afterQuote ? "text after a closing quote" : "a quote inside an unquoted field";
  }
  parse.fieldStart = false;
  addChar(parse, c);
}

void startChar(CsvParse& parse, char c) {
  if (!parse.rowStarted) {
    parse.rowStarted = true;
    parse.row.line = parse.line;
  }
  if (++parse.rowBytes > longestCsvRow) parse.tooLong = true;
  if (c == '\0') parse.nulByte = true;
}

template <typename Sink>
void takeChar(CsvParse& parse, char c, Sink& sink) {
  startChar(parse, c);
  // A quote inside quotes is doubled, or it closes the field: the next character tells.
  if (parse.state == CsvState::quoteInQuoted) {
    parse.state = c == '"' ? CsvState::quoted : CsvState::unquoted;
    if (c == '"') {
      addChar(parse, '"');
      return;
    }
    parse.afterQuote = true;
  }
  if (parse.state == CsvState::quoted) {
    if (c == '\n') ++parse.line;
    if (c == '"') {
      parse.state = CsvState::quoteInQuoted;
    } else {
      addChar(parse, c);
    }
    return;
  }
  if (parse.pendingCarriageReturn) {
    parse.pendingCarriageReturn = false;
    if (c != '\n') takePlainChar(parse, '\r');
  }
  if (c == ',') {
    endField(parse);
  } else if (c == '\n') {
    ++parse.line;
    endRow(parse, sink);
  } else if (c == '\r') {
    parse.pendingCarriageReturn = true;
  } else if (c == '"' && parse.fieldStart) {
    parse.state = CsvState::quoted;
    parse.fieldStart = false;
  } else {
    takePlainChar(parse, c);
  }
}

template <typename Sink>
void finishRows(CsvParse& parse, Sink& sink) {
  if (parse.pendingCarriageReturn) takePlainChar(parse, '\r');
  if (!parse.rowStarted) return;
  if (parse.state == CsvState::quoted) parse.row.problem = "a quote that is never closed";
  endRow(parse, sink);
}

bool isBlank(const CsvRow& row) {
  return row.problem.empty() && row.fields.size() == 1 && row.fields[0].empty();
}

// The columns the planner reads; the last four are the guide's collected CSV's, and optional.
enum Column {
  nameColumn,
  biosColumn,
  meColumn,
  exitColumn,
  codeColumn,
  lastFlashColumn,
  endedColumn,
  columnCount
};
const char* const columnNames[columnCount] = {"name", "bios",      "me",   "exit",
                                              "code", "lastflash", "ended"};
const std::size_t noColumn = static_cast<std::size_t>(-1);

struct CsvFleet {
  Fleet& fleet;
  const std::string& source;
  bool headerRead = false;
  bool failed = false;
  std::size_t columns[columnCount] = {noColumn, noColumn, noColumn, noColumn,
                                      noColumn, noColumn, noColumn};
};

std::string trimmedLower(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return toLower(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string headerProblem(const CsvRow& header) {
  const char* const needed = "the header row needs the columns name, bios and me";
  if (header.fields.size() == 1 && header.fields[0].find(';') != std::string::npos) {
    return std::string(needed) + "; it is separated by semicolons: save as comma-separated";
  }
  if (header.problem == "a NUL byte") return encodingsRead;
  return needed;
}

void readHeader(CsvFleet& csv, const CsvRow& header) {
  csv.headerRead = true;
  for (std::size_t i = 0; i < header.fields.size(); ++i) {
    std::string name = trimmedLower(header.fields[i]);
    for (int column = 0; column < columnCount; ++column) {
      if (name == columnNames[column] && csv.columns[column] == noColumn) csv.columns[column] = i;
    }
  }
  bool complete = csv.columns[nameColumn] != noColumn && csv.columns[biosColumn] != noColumn &&
                  csv.columns[meColumn] != noColumn;
  if (complete && header.problem.empty()) return;
  csv.failed = true;
  csv.fleet.unreadable.push_back(
      {csv.source + ":" + std::to_string(header.line), headerProblem(header)});
}

const std::string& fieldAt(const CsvFleet& csv, const CsvRow& row, Column column) {
  static const std::string none;
  std::size_t at = csv.columns[column];
  return at < row.fields.size() ? row.fields[at] : none;
}

std::optional<int> exitCodeText(const std::string& text) {
  std::string digits = trimmedLower(text);
  if (digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(digits);
}

// What the guide's collecting script adds: the last run's exit code, message code and end, and
// the state of the last run that flashed.
void readLastOutcome(const CsvFleet& csv, const CsvRow& row, FleetMachine& machine) {
  RunOutcome last;
  last.exitCode = exitCodeText(fieldAt(csv, row, exitColumn));
  last.code = fieldAt(csv, row, codeColumn);
  last.time = fieldAt(csv, row, endedColumn);
  if (last.exitCode || !last.code.empty() || !last.time.empty()) machine.last = last;
  machine.lastFlashState = fieldAt(csv, row, lastFlashColumn);
}

std::string machineProblem(const CsvFleet& csv, const CsvRow& row) {
  if (!row.problem.empty()) return row.problem;
  for (Column column : {nameColumn, biosColumn, meColumn}) {
    if (csv.columns[column] >= row.fields.size()) {
      return "has " + std::to_string(row.fields.size()) + " fields, too few for the column " +
             columnNames[column];
    }
  }
  if (fieldAt(csv, row, nameColumn).empty()) return "no name";
  if (fieldAt(csv, row, biosColumn).empty()) return "no bios";
  return "";
}

void readMachineRow(CsvFleet& csv, const CsvRow& row) {
  std::string problem = machineProblem(csv, row);
  if (!problem.empty()) {
    csv.fleet.unreadable.push_back({csv.source + ":" + std::to_string(row.line), problem});
    return;
  }
  FleetMachine machine;
  machine.name = fieldAt(csv, row, nameColumn);
  machine.biosText = fieldAt(csv, row, biosColumn);
  const std::string& me = fieldAt(csv, row, meColumn);
  if (!me.empty()) machine.installedVersion = me;
  readLastOutcome(csv, row, machine);
  csv.fleet.machines.push_back(std::move(machine));
}

void takeRow(CsvFleet& csv, const CsvRow& row) {
  if (csv.failed || isBlank(row)) return;
  if (csv.headerRead) return readMachineRow(csv, row);
  // Windows PowerShell's Export-Csv names the object's type on a first line of its own.
  bool typeLine = row.line == 1 && !row.fields.empty() && startsWith(row.fields[0], "#TYPE");
  if (!typeLine) readHeader(csv, row);
}

}  // namespace

void readFleetCsv(const MoreBytes& more, const std::string& source, Fleet& fleet) {
  CsvFleet csv{fleet, source};
  auto sink = [&csv](const CsvRow& row) { takeRow(csv, row); };
  Decoder decoder;
  CsvParse parse;
  std::string bytes;
  std::string text;
  bool last = false;
  while (!last && !csv.failed && decoder.encoding != Encoding::unreadable) {
    last = !more(bytes);
    text.clear();
    decode(decoder, last ? std::string_view() : std::string_view(bytes), last, text);
    for (char c : text) {
      takeChar(parse, c, sink);
    }
  }
  if (decoder.encoding == Encoding::unreadable) {
    fleet.unreadable.push_back({source + ":1", encodingsRead});
    return;
  }
  finishRows(parse, sink);
  if (!csv.headerRead && !csv.failed) {
    fleet.unreadable.push_back(
        {source + ":1", "the header row needs the columns name, bios and me"});
  }
}

void readFleetCsvText(const std::string& text, const std::string& source, Fleet& fleet,
                      std::size_t block) {
  std::size_t at = 0;
  readFleetCsv(
      [&](std::string& bytes) {
        if (at >= text.size()) return false;
        bytes = text.substr(at, block);
        at += bytes.size();
        return true;
      },
      source, fleet);
}
