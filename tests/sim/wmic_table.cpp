#include "system/wmic_layout.h"
#include "tool_tables.h"

namespace {

// The installer's own layout of wmic's column, so that the SMBIOS fallback and this wmic
// cannot drift apart; the header line alone is what a hanging wmic prints.
void addColumnValues(Values& values) {
  values["column"] = wmicBiosVersionLayout(values["bios"]);
  values["header-line"] = values["column"].substr(0, values["column"].find('\n') + 1);
}

}  // namespace

const ToolTable& wmicTable() {
  static const ToolTable table{
      "wmic",
      "sim-wmic.txt",
      {{"bios", "N01 Ver. 1.05.2"}},
      {
          {"", "default", "out {column}"},
          {"", "empty", ""},
          // What wmic says when WMI refuses the query.
          {"", "error", R"(out Node - WORKSTATION\r\r\nERROR:\r\r\n
out Description = Invalid query\r\r\n\r\r\n
exit 1)"},
          // A wmic whose WMI service never answers: the header, then nothing, for a day.
          {"", "hang", R"(out {header-line}
sleep 86400000)"},
          // The answer in UTF-16, as wmic writes it into a file: NULs between the characters.
          {"", "garbage", R"(out \xff\xfeS\x00M\x00B\x00I\x00O\x00S\x00B\x00I\x00O\x00S\x00
out V\x00e\x00r\x00s\x00i\x00o\x00n\x00 \x00 \x00\r\x00\n\x00
out N\x000\x001\x00 \x00V\x00e\x00r\x00.\x00 \x001\x00.\x000\x005\x00\r\x00\n\x00)"},
      },
      addColumnValues};
  return table;
}
