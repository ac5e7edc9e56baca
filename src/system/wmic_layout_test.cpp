#include "system/wmic_layout.h"

#include "system/tool_output_scan.h"
#include "test_support.h"

namespace {

TEST(WmicLayoutTest, OneColumnAsWideAsTheLongerCellPlusTwoBlanks) {
  EXPECT_EQ(wmicBiosVersionLayout("N01 Ver. 1.05.2"),
            "SMBIOSBIOSVersion  \r\r\nN01 Ver. 1.05.2    \r\r\n\r\r\n");
  EXPECT_EQ(wmicBiosVersionLayout(""), "SMBIOSBIOSVersion  \r\r\n                   \r\r\n\r\r\n");
  for (std::size_t length = 3; length <= 64; ++length) {
    std::string version = "N01" + std::string(length - 3, 'x');
    std::size_t width = std::max<std::size_t>(17, length) + 2;
    std::string layout = wmicBiosVersionLayout(version);
    std::string header = "SMBIOSBIOSVersion" + std::string(width - 17, ' ') + "\r\r\n";
    std::string value = version + std::string(width - length, ' ') + "\r\r\n";
    EXPECT_EQ(layout, header + value + "\r\r\n") << length;
  }
}

// The layout decides what the pattern finds: its padding joins the version, and a short version
// gets the blank that the pattern needs after the family code.
TEST(WmicLayoutTest, ThePatternFindsTheVersionWmicWouldGive) {
  EXPECT_EQ(findBiosVersion(wmicBiosVersionLayout("N01")), "N01                ");
  EXPECT_EQ(findBiosVersion(wmicBiosVersionLayout("N01 Ver. 1.05.2 A01")), "A01  ");
  EXPECT_EQ(findBiosVersion(wmicBiosVersionLayout(std::string(60, 'v') + " N01")), "N01  ");
  EXPECT_EQ(findBiosVersion(wmicBiosVersionLayout("1.05.2")), std::nullopt);
}

}  // namespace
