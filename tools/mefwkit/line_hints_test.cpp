#include "mefwkit/line_hints.h"

#include <gtest/gtest.h>

namespace {

std::string keyHint(const std::string& line) {
  return keyLineHint(line, recognizeInputKey(line)).value_or("");
}

std::string ignoredHint(const std::string& line) { return ignoredLineHint(line).value_or(""); }

TEST(LineHintsTest, KeysBehindCommentMarksStillCount) {
  for (const char* line : {"# meFirmwareFile = 1.2.3.4.bin", ";supportedPlatforms = aster",
                           "// prereqBios = 1.0", "REM upfrontMessage = hi",
                           "  rem\tmeFirmwareFile = 1.2.3.4.bin", "old: # prereqBios = 1"}) {
    EXPECT_NE(keyHint(line).find("behind a comment mark but still counts"), std::string::npos)
        << line;
  }
  EXPECT_EQ(keyHint("meFirmwareFile = 1.2.3.4.bin # the new one"), "");
  EXPECT_EQ(keyHint("  supportedPlatforms = aster"), "");
  EXPECT_EQ(keyHint("remark meFirmwareFile = 1.2.3.4.bin"), "");
}

TEST(LineHintsTest, APrerequisiteCutShortIsNamed) {
  EXPECT_EQ(keyHint("prereqBios = N01 1.04"),
            "the prereqBios value ends at a blank: only \"N01\" counts and \"1.04\" is ignored");
  EXPECT_EQ(keyHint("prereqBios = 1.04,2"),
            "the prereqBios value ends at \",\": only \"1.04\" counts and \",2\" is ignored");
  EXPECT_EQ(keyHint("prereqBios = 1.04   "), "");
  EXPECT_EQ(keyHint("prereqBios = 1.04 ; minimum"), "");
}

TEST(LineHintsTest, LinesThatLookLikeKeysButAreIgnored) {
  EXPECT_EQ(ignoredHint("prereqBIOS = 1.04"),
            "\"prereqBIOS\" is not the key \"prereqBios\" (letter case counts), so this line is "
            "ignored");
  EXPECT_NE(ignoredHint("MEFirmwareFile=1.2.3.4.bin").find("letter case counts"),
            std::string::npos);
  EXPECT_EQ(ignoredHint("supportedPlatform = aster"),
            "\"supportedPlatform\" looks like a misspelt \"supportedPlatforms\", so this line is "
            "ignored");
  EXPECT_NE(ignoredHint("upfrontMesage = hi").find("misspelt \"upfrontMessage\""),
            std::string::npos);
  EXPECT_NE(ignoredHint("meFirmwareFile: 1.2.3.4.bin").find("has no \"=\""), std::string::npos);
  EXPECT_NE(ignoredHint("prereqBios 1.04").find("has no \"=\""), std::string::npos);
  // Comments, prose and other keys are left alone.
  for (const char* line : {"# prereqBIOS = 1.0", "; supportedPlatform = x", "", "Platform: aster",
                           "version = 3", "prereq = 1.0", "meFirmwareFile", "vendor: Norvane"}) {
    EXPECT_EQ(ignoredHint(line), "") << line;
  }
}

TEST(LineHintsTest, EditDistanceCountsSingleByteEdits) {
  EXPECT_EQ(editDistance("", "abc"), 3u);
  EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
  EXPECT_EQ(editDistance("prereqbios", "prereqbios"), 0u);
  EXPECT_EQ(editDistance("supportedplatform", "supportedplatforms"), 1u);
}

}  // namespace
