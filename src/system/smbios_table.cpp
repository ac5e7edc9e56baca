#include "system/smbios_table.h"

#include <cstdint>

namespace {

constexpr std::size_t headerSize = 8;
constexpr std::size_t structureHeaderSize = 4;  // type, length, handle
constexpr unsigned char biosInformation = 0;
constexpr unsigned char endOfTable = 127;
constexpr std::size_t biosVersionOffset = 0x05;

std::uint8_t byteAt(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

// The structures the header announces; nothing when they run past the buffer.
std::optional<std::string_view> tableStructures(std::string_view rawTable) {
  if (rawTable.size() < headerSize) return std::nullopt;
  std::uint32_t length = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    length |= static_cast<std::uint32_t>(byteAt(rawTable, 4 + i)) << (8 * i);
  }
  if (length > rawTable.size() - headerSize) return std::nullopt;
  return rawTable.substr(headerSize, length);
}

// Where the string set that starts at `strings` ends, after its two NULs; nothing when the
// table ends first. Strings are never empty, so the first two NULs in a row end the set.
std::optional<std::size_t> stringSetEnd(std::string_view table, std::size_t strings) {
  std::size_t at = table.find(std::string_view("\0\0", 2), strings);
  if (at == std::string_view::npos) return std::nullopt;
  return at + 2;
}

// String `number` (from 1) of the set between `strings` and `end`; nothing for 0 or a number
// beyond the set.
std::optional<std::string> stringNumber(std::string_view table, std::size_t strings,
                                        std::size_t end, std::uint8_t number) {
  std::string_view set = table.substr(strings, end - strings);
  std::size_t start = 0;
  for (unsigned current = 1; number != 0 && start < set.size(); ++current) {
    std::size_t nul = set.find('\0', start);
    if (nul == start) break;  // the terminating NUL: no more strings
    if (current == number) return std::string(set.substr(start, nul - start));
    start = nul + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> smbiosBiosVersion(std::string_view rawTable) {
  std::optional<std::string_view> structures = tableStructures(rawTable);
  if (!structures) return std::nullopt;
  std::string_view table = *structures;
  for (std::size_t at = 0; table.size() - at >= structureHeaderSize;) {
    std::uint8_t type = byteAt(table, at);
    std::size_t length = byteAt(table, at + 1);
    if (length < structureHeaderSize || length > table.size() - at) return std::nullopt;
    std::optional<std::size_t> end = stringSetEnd(table, at + length);
    if (!end || type == endOfTable) return std::nullopt;
    if (type == biosInformation) {
      if (length <= biosVersionOffset) return std::nullopt;
      return stringNumber(table, at + length, *end, byteAt(table, at + biosVersionOffset));
    }
    at = *end;
  }
  return std::nullopt;
}
