#include "system/smbios_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// One structure: type, formatted-area length, handle, the rest of the formatted area, then
// the string set ended by two NULs.
std::string structure(std::uint8_t type, const std::string& formattedRest,
                      const std::vector<std::string>& strings, std::uint16_t handle = 0x10) {
  std::string bytes;
  bytes += static_cast<char>(type);
  bytes += static_cast<char>(4 + formattedRest.size());
  bytes += static_cast<char>(handle & 0xFF);
  bytes += static_cast<char>(handle >> 8);
  bytes += formattedRest;
  for (const std::string& text : strings) {
    bytes += text + '\0';
  }
  if (strings.empty()) bytes += '\0';
  return bytes + '\0';
}

// BIOS information: vendor string 1, BIOS Version string `versionNumber` at offset 05h.
// 0x18 bytes in the 2.4 to 2.8 layouts, 0x1A from 3.1 on (extended ROM size).
std::string biosInformation(std::uint8_t versionNumber, std::size_t length,
                            const std::vector<std::string>& strings) {
  std::string rest(length - 4, '\0');
  rest[0] = 1;
  rest[1] = static_cast<char>(versionNumber);
  rest[4] = 3;  // release date
  return structure(0, rest, strings);
}

std::string endOfTable() { return structure(127, "", {}, 0xFEFF); }

// Windows' header: calling method, major, minor, DMI revision, table length.
std::string rawTable(std::uint8_t major, std::uint8_t minor, const std::string& structures,
                     std::uint32_t length) {
  std::string header{0, static_cast<char>(major), static_cast<char>(minor), 0};
  for (int i = 0; i < 4; ++i) {
    header += static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  return header + structures;
}

std::string rawTable(std::uint8_t major, std::uint8_t minor, const std::string& structures) {
  return rawTable(major, minor, structures, static_cast<std::uint32_t>(structures.size()));
}

const std::vector<std::string> biosStrings{"Norvane Ltd.", "N01 Ver. 1.05.2", "03/04/2025"};
const std::optional<std::string> none;

TEST(SmbiosTable, TwoPointLayoutAfterOtherStructures) {
  std::string structures = structure(1, std::string(0x17, '\x01'), {"Norvane", "Aster 5", "S123"}) +
                           structure(2, std::string(0x0B, '\0'), {}) +
                           biosInformation(2, 0x18, biosStrings) + endOfTable();
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 7, structures)), "N01 Ver. 1.05.2");
}

TEST(SmbiosTable, ThreePointLayoutWithTheVersionStringElsewhereInTheSet) {
  std::string structures = structure(0x11, std::string(0x50, '\x07'), {"DIMM 0", "Bank 0"}) +
                           biosInformation(3, 0x1A, {"Vendor", "01/02/2026", "P11 Ver 2.00"}) +
                           structure(4, std::string(0x2C, '\0'), {"CPU"}) + endOfTable();
  EXPECT_EQ(smbiosBiosVersion(rawTable(3, 2, structures)), "P11 Ver 2.00");
  // Bytes past the announced length are not part of the table.
  EXPECT_EQ(smbiosBiosVersion(rawTable(3, 2, structures) + "trailing\0\0junk"), "P11 Ver 2.00");
}

TEST(SmbiosTable, TheFirstBiosStructureDecides) {
  std::string second = biosInformation(1, 0x18, {"Q20 second"});
  EXPECT_EQ(smbiosBiosVersion(rawTable(3, 0, biosInformation(2, 0x18, biosStrings) + second)),
            "N01 Ver. 1.05.2");
  // Without a version string in the first one there is none, whatever follows.
  EXPECT_EQ(smbiosBiosVersion(rawTable(3, 0, biosInformation(0, 0x18, biosStrings) + second)),
            none);
}

TEST(SmbiosTable, NoVersionWhereTheTableHoldsNone) {
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, "")), none);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, endOfTable() + biosInformation(2, 0x18, biosStrings))),
            none);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, structure(1, "", {"x"}) + endOfTable())), none);
  // A BIOS structure behind the announced length is no part of the table.
  std::string system = structure(1, std::string(0x17, '\0'), {"Norvane"});
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, system + biosInformation(2, 0x18, biosStrings),
                                       static_cast<std::uint32_t>(system.size()))),
            none);
  // String number beyond the set, and a structure too short to hold the number.
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, biosInformation(4, 0x18, biosStrings))), none);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, biosInformation(2, 0x18, {}))), none);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, structure(0, "\x01", {"a", "b"}))), none);
}

TEST(SmbiosTable, MalformedTablesEndWithoutVersion) {
  std::string good = biosInformation(2, 0x18, biosStrings) + endOfTable();
  for (std::size_t size = 0; size < 8; ++size) {
    EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, good).substr(0, size)), none) << size;
  }
  // A length beyond the buffer, also one that would wrap around.
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, good, static_cast<std::uint32_t>(good.size() + 1))),
            none);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, good, 0xFFFFFFFF)), none);
  // Formatted-area lengths below 4, and one past the table.
  for (char length : {'\0', '\1', '\3'}) {
    // Were the length taken, the walk would land on the good structure behind it.
    std::string bad = structure(1, "", {}, 0x1010) + good;
    bad[1] = length;
    EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, bad)), none) << int(length);
  }
  std::string tooLong = good;
  tooLong[1] = static_cast<char>(0xF0);
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, tooLong)), none);
  // A string set without its double NUL, before and in the BIOS structure.
  std::string open = structure(1, "", {"abc"});
  open.pop_back();
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, open)), none);
  std::string openBios = biosInformation(2, 0x18, biosStrings);
  openBios.pop_back();
  EXPECT_EQ(smbiosBiosVersion(rawTable(2, 8, openBios)), none);
}

TEST(SmbiosTable, EveryCutOfAGoodTableIsSafe) {
  std::string structures = structure(1, std::string(0x17, '\0'), {"Norvane"}) +
                           biosInformation(2, 0x18, biosStrings) + endOfTable();
  EXPECT_EQ(smbiosBiosVersion(rawTable(3, 0, structures)), "N01 Ver. 1.05.2");
  for (std::size_t cut = 0; cut <= structures.size(); ++cut) {
    std::optional<std::string> version =
        smbiosBiosVersion(rawTable(3, 0, structures.substr(0, cut)));
    if (version) {
      EXPECT_EQ(*version, "N01 Ver. 1.05.2") << cut;
    }
  }
}

}  // namespace
