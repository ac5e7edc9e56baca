#include "profiles/platform_decoder.h"

#include <fstream>
#include <set>
#include <sstream>

#include "settings/run_settings.h"
#include "system/bios_query.h"
#include "test_support.h"

namespace {

class PlatformDecoderTest : public UnitTest {
 protected:
  void setBios(const std::string& version) {
    fake().commandOutput["wmic bios get smbiosbiosversion"] = "SMBIOSBIOSVersion\r\r\n" + version;
    queryBiosVersion();
  }

  static InputProfile profileFor(std::vector<std::string> platforms) {
    InputProfile profile;
    for (const std::string& platform : platforms) {
      profile.addSupportedPlatform(platform);
    }
    return profile;
  }
};

bool isLowerAlphanumeric(const std::string& text) {
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

TEST_F(PlatformDecoderTest, TableHasTheShippedShape) {
  const PlatformDecoder& decoder = platformDecoder();
  EXPECT_EQ(decoder.size(), 18u);
  std::map<std::string, int> platformsPerFamily;
  for (const auto& [platform, family] : decoder) {
    EXPECT_GE(platform.size(), 4u) << platform;
    EXPECT_LE(platform.size(), 10u) << platform;
    EXPECT_TRUE(isLowerAlphanumeric(platform)) << platform;
    ASSERT_EQ(family.size(), 3u) << family;
    EXPECT_TRUE(family[0] >= 'a' && family[0] <= 'z') << family;
    EXPECT_TRUE(isdigit(family[1]) && isdigit(family[2])) << family;
    ++platformsPerFamily[family];
  }
  std::multiset<int> sizes;
  for (const auto& entry : platformsPerFamily) {
    sizes.insert(entry.second);
  }
  EXPECT_EQ(sizes, (std::multiset<int>{3, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(PlatformDecoderTest, PublishedListMatchesTheTable) {
  std::ifstream file(std::string(MEFW_SOURCE_DIR) + "/docs/platforms.txt");
  ASSERT_TRUE(file.is_open());
  PlatformDecoder published;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string platform, family, extra;
    ASSERT_TRUE(fields >> platform >> family) << line;
    EXPECT_FALSE(fields >> extra) << line;
    EXPECT_TRUE(published.emplace(platform, family).second) << "listed twice: " << platform;
  }
  EXPECT_EQ(published, platformDecoder());
}

TEST_F(PlatformDecoderTest, LookupIsExact) {
  EXPECT_EQ(decodePlatform("aster"), "n01");
  EXPECT_EQ(decodePlatform("lagoon"), "r30");
  EXPECT_EQ(decodePlatform("Aster"), std::nullopt);
  EXPECT_EQ(decodePlatform(""), std::nullopt);
}

TEST_F(PlatformDecoderTest, MatchesTheFirstProfileHoldingTheMachineFamily) {
  std::vector<InputProfile> profiles = {profileFor({"fjord", "glacier"}),
                                        profileFor({"birch", "aster", "asterpro"})};
  setBios("N01 Ver. 1.05");
  setVerboseFlag();
  EXPECT_EQ(matchInputProfile(profiles), 1);
  EXPECT_EQ(fake().output.substr(fake().output.find("Checking if BIOS")),
            "Checking if BIOS matches an input profile.\nMatches input profile 1\n\n");
  setBios("P11 Ver. 2");
  EXPECT_EQ(matchInputProfile(profiles), 0);
  setBios("Q22 1");
  EXPECT_EQ(matchInputProfile(profiles), -1);
}

TEST_F(PlatformDecoderTest, ShortOrMissingBiosVersionNeverMatches) {
  std::vector<InputProfile> profiles = {profileFor({"aster"})};
  EXPECT_EQ(matchInputProfile(profiles), -1);
  EXPECT_EQ(systemBiosFamily(), "");
  std::vector<InputProfile> none;
  EXPECT_EQ(matchInputProfile(none), -1);
}

}  // namespace
