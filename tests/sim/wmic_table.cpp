#include <algorithm>

#include "tool_tables.h"

namespace {

// wmic prints one column as wide as its longest cell plus two blanks, and ends every line with
// CR CR LF.
void addColumnValues(Values& values) {
  const std::string header = "SMBIOSBIOSVersion";
  const std::string& bios = values["bios"];
  std::size_t width = std::max(header.size(), bios.size()) + 2;
  values["header-cell"] = header + std::string(width - header.size(), ' ');
  values["bios-cell"] = bios + std::string(width - bios.size(), ' ');
}

}  // namespace

const ToolTable& wmicTable() {
  static const ToolTable table{
      "wmic",
      "sim-wmic.txt",
      {{"bios", "N01 Ver. 1.05.2"}},
      {
          {"", "default", R"(out {header-cell}\r\r\n{bios-cell}\r\r\n\r\r\n)"},
          {"", "empty", ""},
          // What wmic says when WMI refuses the query.
          {"", "error", R"(out Node - WORKSTATION\r\r\nERROR:\r\r\n
out Description = Invalid query\r\r\n\r\r\n
exit 1)"},
          // A wmic whose WMI service never answers: the header, then nothing, for a day.
          {"", "hang", R"(out {header-cell}\r\r\n
sleep 86400000)"},
          // The answer in UTF-16, as wmic writes it into a file: NULs between the characters.
          {"", "garbage", R"(out \xff\xfeS\x00M\x00B\x00I\x00O\x00S\x00B\x00I\x00O\x00S\x00
out V\x00e\x00r\x00s\x00i\x00o\x00n\x00 \x00 \x00\r\x00\n\x00
out N\x000\x001\x00 \x00V\x00e\x00r\x00.\x00 \x001\x00.\x000\x005\x00\r\x00\n\x00)"},
      },
      addColumnValues};
  return table;
}
