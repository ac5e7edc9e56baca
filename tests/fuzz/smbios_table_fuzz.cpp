// The firmware's SMBIOS table, whatever it holds, as the BIOS query's fallback reads it. The
// reader must stay inside the buffer and end; a version it finds must be one of the table's
// NUL-ended strings; and the query must store what the BIOS expression finds in it, laid out as
// wmic prints it.
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "regex_reference.h"
#include "settings/text_case.h"
#include "system/bios_query.h"
#include "system/smbios_table.h"
#include "system/wmic_layout.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchFolder();
  return 0;
}

namespace {

void checkTableString(std::string_view table, const std::string& found) {
  fuzzCheck(!found.empty(), "an empty SMBIOS string taken for the BIOS version");
  fuzzCheck(found.find('\0') == std::string::npos, "a BIOS version string across a NUL");
  std::string ended = found + '\0';
  fuzzCheck(table.find(ended, 8) != std::string_view::npos,
            "BIOS version " + printable(found) + " is no string of the table");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetProcessState();
  // A copy of exactly the input's size, so that any read past it is caught.
  const std::string table(asText(data, size));
  const std::optional<std::string> found = smbiosBiosVersion(table);
  if (found) checkTableString(table, *found);
  // Beyond what std::regex survives, only the query's own soundness is checked.
  const std::string column = found ? wmicBiosVersionLayout(*found) : "";
  const bool known = !found || column.size() <= referenceTextBytes;
  const std::optional<std::string> expected =
      found && known
          ? referenceGroup(R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)", column, 1)
          : std::nullopt;

  platform::fakePlatform().commandOutput["wmic bios get smbiosbiosversion"] = "";
  platform::fakePlatform().smbiosTable = table;
  try {
    queryBiosVersion();
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"2000s"}});
    fuzzCheck(!expected, "no BIOS version taken where the table holds " + expected.value_or(""));
    return 0;
  }
  if (!known) return 0;
  fuzzCheck(expected.has_value(), "BIOS version found in a table without one");
  fuzzCheck(currentBiosVersion() == toLower(*expected),
            "BIOS version " + currentBiosVersion() + " instead of " + *expected);
  return 0;
}
