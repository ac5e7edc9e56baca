#include "console/messages.h"

#include "console/console_colours.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using MessagesTest = UnitTest;

// Each type's colour has two shades, dark and light; on a background of either shade the type
// takes light magenta instead. Every shade of every type has its row.
TEST_F(MessagesTest, ColoursFollowTheConsoleBackground) {
  struct Case {
    std::optional<int> start;
    int error, warning, complete, code, defaultAttribute;
  };
  const Case cases[] = {
      {std::nullopt, 12, 14, 10, 11, 7},  // no console
      {7, 12, 14, 10, 11, 7},             // black
      {15, 12, 14, 10, 11, 15},           // black, bright text
      {31, 28, 30, 26, 27, 31},           // blue with white text
      {0x47, 77, 78, 74, 75, 0x47},       // red: error text would vanish
      {0x2F, 44, 46, 45, 43, 0x2F},       // green: complete text would vanish
      {0x6F, 108, 109, 106, 107, 0x6F},   // brown: warning text would vanish
      {0x3F, 60, 62, 58, 61, 0x3F},       // aqua: code text would vanish
      {0xCF, 205, 206, 202, 203, 0xCF},   // light red: error text would vanish
      {0xAF, 172, 174, 173, 171, 0xAF},   // light green: complete text would vanish
      {0xEF, 236, 237, 234, 235, 0xEF},   // yellow: warning text would vanish
      {0xBF, 188, 190, 186, 189, 0xBF},   // light aqua: code text would vanish
  };
  for (const Case& c : cases) {
    ConsoleColours colours = computeConsoleColours(c.start);
    EXPECT_EQ(colours.errorAttribute, c.error) << c.start.value_or(-1);
    EXPECT_EQ(colours.warningAttribute, c.warning) << c.start.value_or(-1);
    EXPECT_EQ(colours.completeAttribute, c.complete) << c.start.value_or(-1);
    EXPECT_EQ(colours.codeAttribute, c.code) << c.start.value_or(-1);
    EXPECT_EQ(colours.defaultAttribute, c.defaultAttribute);
    EXPECT_EQ(colours.debugAttribute, 207);
  }
  EXPECT_EQ(computeConsoleColours(std::nullopt).consoleBackground, -1);
  // Bits above the background are kept in the background value.
  EXPECT_EQ(computeConsoleColours(0x1234).consoleBackground, 0x123);
}

TEST_F(MessagesTest, TypeChoosesTheColourWhateverItsLetterCase) {
  consoleColours() = computeConsoleColours(31);
  const std::pair<const char*, int> cases[] = {
      {"error", 28},  {"ERROR", 28},   {"Code", 27}, {"wArNiNg", 30}, {"complete", 26},
      {"debug", 207}, {"default", 31}, {"", 31},     {"errors", 31},
  };
  for (const auto& [type, attribute] : cases) {
    printMessage("x", type);
    EXPECT_EQ(fake().attributesSet.back(), attribute) << type;
  }
}

TEST_F(MessagesTest, PrintLevelsGateTheConsoleButNotTheLog) {
  printMessage("always ", "default");
  printVerbose("verbose ", "warning");
  printSuperVerbose("super ", "default");
  EXPECT_EQ(fake().output, "always ");
  EXPECT_EQ(runLog(), (std::vector<std::string>{"always ", "verbose ", "super "}));
  // A hidden message still switches the colour.
  EXPECT_EQ(fake().attributesSet, (std::vector<int>{7, 14, 7}));

  setVerboseFlag();
  printVerbose("v", "default");
  printSuperVerbose("s", "default");
  EXPECT_EQ(fake().output, "always v");

  resetProcessState();
  setSuperVerboseFlag();
  printVerbose("v", "default");
  printSuperVerbose("s", "default");
  EXPECT_EQ(fake().output, "vs");
}

TEST_F(MessagesTest, TextIsWrittenByteForByteWithoutAddedLineEnds) {
  printMessage(std::string("a\tb\r\0c", 6), "default");
  printMessage("d\n", "default");
  EXPECT_EQ(fake().output, std::string("a\tb\r\0cd\n", 8));
}

}  // namespace
