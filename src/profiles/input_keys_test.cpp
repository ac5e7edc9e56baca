#include "profiles/input_keys.h"

#include <gtest/gtest.h>

namespace {

std::string part(const std::string& line, std::size_t begin, std::size_t end) {
  return line.substr(begin, end - begin);
}

TEST(InputKeysTest, FindsTheKeyWithItsWholeMatchAndValue) {
  std::string line = "# meFirmwareFile =\t11.8.55.3510.bin  (new)";
  InputKeyMatch match = recognizeInputKey(line);
  EXPECT_EQ(match.key, InputKey::firmwareFile);
  EXPECT_EQ(part(line, 0, match.begin), "#");
  EXPECT_EQ(part(line, match.begin, match.end), " meFirmwareFile =\t11.8.55.3510.bin  ");
  EXPECT_EQ(part(line, match.valueBegin, match.valueEnd), "11.8.55.3510.bin");

  line = "supportedPlatforms = aster, Birch;cedar";
  match = recognizeInputKey(line);
  EXPECT_EQ(match.key, InputKey::supportedPlatforms);
  EXPECT_EQ(part(line, match.valueBegin, match.valueEnd), "aster, Birch");

  line = "upfrontMessage=  Hi; all # of it";
  match = recognizeInputKey(line);
  EXPECT_EQ(match.key, InputKey::upfrontMessage);
  EXPECT_EQ(part(line, match.valueBegin, match.valueEnd), "Hi; all # of it");

  line = "prereqBios = N01 1.04";
  match = recognizeInputKey(line);
  EXPECT_EQ(match.key, InputKey::prereqBios);
  EXPECT_EQ(part(line, match.valueBegin, match.valueEnd), "N01");
  EXPECT_EQ(match.end, 17u);
}

TEST(InputKeysTest, KeysAreTriedInOrderAndMatchTheirWordExactly) {
  // The firmware key wins even when another key comes first in the line.
  EXPECT_EQ(recognizeInputKey("upfrontMessage = see meFirmwareFile = x.bin").key,
            InputKey::firmwareFile);
  EXPECT_EQ(recognizeInputKey("prereqbios = 1.0").key, InputKey::none);
  EXPECT_EQ(recognizeInputKey("supportedPlatform = aster").key, InputKey::none);
  EXPECT_EQ(recognizeInputKey("meFirmwareFile: x.bin").key, InputKey::none);
  EXPECT_EQ(recognizeInputKey("").key, InputKey::none);
  EXPECT_EQ(std::string(inputKeyName(InputKey::prereqBios)), "prereqBios");
  EXPECT_EQ(std::string(inputKeyName(InputKey::none)), "");
}

}  // namespace
