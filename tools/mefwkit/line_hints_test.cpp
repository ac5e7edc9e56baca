#include "mefwkit/line_hints.h"

#include <gtest/gtest.h>

namespace {

// The hints of a key line, joined by " | ".
std::string keyHint(const std::string& line) {
  std::string joined;
  for (const std::string& hint : keyLineHints(line, recognizeInputKey(line))) {
    joined += (joined.empty() ? "" : " | ") + hint;
  }
  return joined;
}

std::string ignoredHint(const std::string& line) {
  std::optional<IgnoredLine> ignored = ignoredLineHint(line);
  return ignored ? ignored->hint : "";
}

TEST(LineHintsTest, AnyTextBeforeAKeyIsNamedWhateverTheCommentMark) {
  for (const char* line :
       {"# meFirmwareFile = 1.2.3.4.bin", ";supportedPlatforms = aster", "// prereqBios = 1.0",
        "REM upfrontMessage = hi", "  rem\tmeFirmwareFile = 1.2.3.4.bin", "old: # prereqBios = 1",
        ":: meFirmwareFile = 1.2.3.4.bin", "-- prereqBios = 1.0", "' upfrontMessage = hi",
        "<!-- prereqBios = 1.0 -->", "/* supportedPlatforms = aster */", "not this: prereqBios = 1",
        "remark meFirmwareFile = 1.2.3.4.bin"}) {
    EXPECT_NE(keyHint(line).find("yet the key still counts"), std::string::npos) << line;
  }
  EXPECT_EQ(keyHint("::meFirmwareFile = 1.2.3.4.bin"),
            "\"::\" stands before meFirmwareFile, yet the key still counts: the installer reads a "
            "key anywhere in a line, behind any comment mark");
  EXPECT_EQ(keyHint("meFirmwareFile = 1.2.3.4.bin # the new one"), "");
  EXPECT_EQ(keyHint("  supportedPlatforms = aster"), "");
  // A UTF-8 byte-order mark is no text.
  EXPECT_EQ(keyHint("\xEF\xBB\xBFmeFirmwareFile = 1.2.3.4.bin"), "");
}

TEST(LineHintsTest, AKeyWrittenIntoAnotherKeysLine) {
  EXPECT_EQ(keyHint("upfrontMessage = see supportedPlatforms = list"),
            "this line holds upfrontMessage and supportedPlatforms: it is read as "
            "supportedPlatforms only, and the upfrontMessage before it is ignored");
  EXPECT_EQ(keyHint("upfrontMessage = then set prereqBios = 1.0 first"),
            "the upfrontMessage value holds the key prereqBios, which is not read as a key here");
  EXPECT_EQ(keyHint("supportedPlatforms = aster prereqBios = 1.0"),
            "the supportedPlatforms value holds the key prereqBios, which is not read as a key "
            "here");
  EXPECT_EQ(keyHint("upfrontMessage = Do not edit the prereqBios line."), "");
}

TEST(LineHintsTest, AValueCutShortIsNamed) {
  EXPECT_EQ(keyHint("meFirmwareFile = 12.0.20.1310 corp.bin"),
            "the meFirmwareFile value ends at a blank: only \"12.0.20.1310\" counts and "
            "\"corp.bin\" is ignored");
  EXPECT_EQ(keyHint("meFirmwareFile = 12.0.20.1310.bin  # new"), "");
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
  EXPECT_EQ(ignoredLineHint("MeFirmwareFile = 1.2.3.4.bin")->key, InputKey::firmwareFile);
  EXPECT_EQ(ignoredLineHint("prereqBIOS = 1")->key, InputKey::prereqBios);
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
