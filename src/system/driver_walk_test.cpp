#include "system/driver_walk.h"

#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using platform::FakeDevice;
using platform::FakeDriver;

class DriverWalkTest : public UnitTest {
 protected:
  static FakeDriver driver(const std::u16string& description, const std::u16string& inf) {
    return FakeDriver{description, inf, false};
  }
};

TEST_F(DriverWalkTest, NoDeviceGivesTheSentinelAndReleasesTheList) {
  EXPECT_EQ(findSolDriverInf(), "error");
  EXPECT_EQ(fake().deviceListsOpened, 1);
  EXPECT_EQ(fake().deviceListsReleased, 1);
}

TEST_F(DriverWalkTest, FindsSolOnTheSecondOfThreeDevices) {
  setSuperVerboseFlag();
  fake().devices = {
      FakeDevice{false, {driver(u"Intel(R) Display", u"C:\\inf\\display.inf")}},
      FakeDevice{false,
                 {driver(u"Intel(R) Active Management Technology - SOL", u"C:\\inf\\sol.inf")}},
      FakeDevice{false, {driver(u"Audio", u"C:\\inf\\audio.inf")}},
  };
  EXPECT_EQ(findSolDriverInf(), "C:\\inf\\sol.inf");
  EXPECT_EQ(fake().output,
            "Interrogating system to find SOL driver\nIntel(R) Display\n"
            "Intel(R) Active Management Technology - SOL\nFound SOL driver\n"
            "Inf location C:\\inf\\sol.inf\nAudio\n");
  EXPECT_EQ(fake().deviceListsReleased, 1);
}

TEST_F(DriverWalkTest, LastSolDriverWinsAndDalIsOnlyNoticed) {
  setVerboseFlag();
  fake().devices = {
      FakeDevice{false, {driver(u"SOL one", u"one.inf"), driver(u"SOL and DAL", u"two.inf")}},
      FakeDevice{false, {driver(u"Intel DAL", u"dal.inf")}},
  };
  EXPECT_EQ(findSolDriverInf(), "two.inf");
  std::string output = fake().output;
  EXPECT_NE(output.find("Inf location two.inf\nFound DAL driver\nFound DAL driver\n"),
            std::string::npos);
}

TEST_F(DriverWalkTest, OnlyCapitalSolCounts) {
  fake().devices = {
      FakeDevice{false, {driver(u"Console solution", u"x.inf"), driver(u"Isolated", u"y.inf")}}};
  EXPECT_EQ(findSolDriverInf(), "error");
}

TEST_F(DriverWalkTest, DeviceWithoutDriverListDoesNotHideSol) {
  fake().devices = {
      FakeDevice{true, {driver(u"SOL hidden", u"hidden.inf")}},
      FakeDevice{false, {driver(u"SOL", u"sol.inf")}},
      FakeDevice{true, {}},
  };
  EXPECT_EQ(findSolDriverInf(), "sol.inf");
}

TEST_F(DriverWalkTest, DriverWithoutDetailsIsSkipped) {
  FakeDriver broken = driver(u"SOL broken", u"broken.inf");
  broken.detailFails = true;
  fake().devices = {FakeDevice{false, {driver(u"SOL", u"good.inf"), broken}}};
  EXPECT_EQ(findSolDriverInf(), "good.inf");
}

TEST_F(DriverWalkTest, NarrowTextKeepsTheLowByte) {
  EXPECT_EQ(narrowText(u"SOL \u00e9\u0141"), "SOL \xe9\x41");
  EXPECT_EQ(narrowText(u""), "");
}

class InfVersionTest : public UnitTest {
 protected:
  static std::string inf(const std::string& name) {
    return std::string(MEFW_SOURCE_DIR) + "/tests/data/inf/" + name;
  }
};

TEST_F(InfVersionTest, ReadsTheFourFieldsAfterTheComma) {
  setVerboseFlag();
  EXPECT_EQ(readInfDriverVersion(inf("sol_spaces.inf")), "2.1.0.1");
  EXPECT_EQ(fake().output, inf("sol_spaces.inf") + " opened\nSOL version found 2.1.0.1\n");
}

TEST_F(InfVersionTest, FirstMatchingLineWinsEvenCommentedOut) {
  EXPECT_EQ(readInfDriverVersion(inf("commented_and_three_fields.inf")), "9.9.9.9");
  EXPECT_EQ(readInfDriverVersion(inf("empty_fields.inf")), "..7.");
}

TEST_F(InfVersionTest, UnreadableOrUnmatchedFilesGiveUnknown) {
  setVerboseFlag();
  EXPECT_EQ(readInfDriverVersion(inf("utf16.inf")), "Unknown");
  EXPECT_EQ(readInfDriverVersion(inf("no_driver_ver.inf")), "Unknown");
  fake().output.clear();
  EXPECT_EQ(readInfDriverVersion(inf("missing.inf")), "Unknown");
  EXPECT_EQ(fake().output, "");
}

}  // namespace
