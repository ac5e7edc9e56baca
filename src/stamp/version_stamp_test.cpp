#include <algorithm>

#include "settings/run_settings.h"
#include "stamp/firmware_updater.h"
#include "stamp/stamp_pieces.h"
#include "stamp/stamp_template.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

class VersionStampTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    fake().environment["SystemDrive"] = folder.string();
  }
  std::string write(const std::string& version) {
    return raisedBy([&] { updater.writeVersionStamp(version); });
  }
  std::string stamp() { return readFileBytes(folder / "MeFwVer.sys"); }

  FirmwareUpdater updater{"MeFwVer.sys", "update", "-allowsv", "-s"};
};

const std::string none = "(nothing raised)";

std::string templateImage() {
  std::string hex;
  for (const char* piece : stampTemplatePieces) {
    hex += piece;
  }
  return decodeHex(hex);
}

std::size_t expectedLength(std::size_t length) {
  std::size_t even = length % 2 == 0 ? 2 : 0;
  return templateImage().size() + 2 * (2 * length - 1 + even) - 50;
}

TEST_F(VersionStampTest, SampleVersionReproducesTheTemplate) {
  setVerboseFlag();
  EXPECT_EQ(write("11.22.33.4444"), none);
  EXPECT_EQ(stamp(), templateImage());
  std::string path = folder.string() + "\\MeFwVer.sys";
  EXPECT_EQ(fake().output, "Finding OS drive letter.\nOS Drive letter found, it is " +
                               folder.string() + "\nWriting file: " + path +
                               "\nWrite complete\n\n");
}

TEST_F(VersionStampTest, FileLengthFollowsTheVersionLength) {
  for (const std::string version : {"1.2.3.4", "11.8.50.339", "11.8.50.3434", "11.8.50.3399",
                                    "11.22.333.4444", "65535.65535.65535.6553"}) {
    EXPECT_EQ(write(version), none);
    EXPECT_EQ(stamp().size(), expectedLength(version.size())) << version;
  }
  // The last write replaced the earlier, longer files completely.
  EXPECT_EQ(write("1.2.3.4"), none);
  EXPECT_EQ(stamp().size(), expectedLength(7));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(VersionStampTest, PiecesAreShownOnlyWhenSuperVerbose) {
  setSuperVerboseFlag();
  EXPECT_EQ(write("11.22.33.4444"), none);
  EXPECT_NE(fake().output.find(stampTemplatePieces[18]), std::string::npos);
}

TEST_F(VersionStampTest, MissingSystemDriveWritesNothing) {
  fake().environment.erase("SystemDrive");
  EXPECT_EQ(write("11.8.50.3399"), "ERROR 2001s: Cannot find OS drive.");
  fake().environment["SystemDrive"] = "";
  EXPECT_EQ(write("11.8.50.3399"), "ERROR 2001s: Cannot find OS drive.");
  EXPECT_EQ(runLogText(), "Finding OS drive letter.\nFinding OS drive letter.\n");
  EXPECT_FALSE(fs::exists(folder / "MeFwVer.sys"));
}

TEST_F(VersionStampTest, VersionsTheStampCannotCarryLeaveTheOldStamp) {
  ASSERT_EQ(write("11.8.50.3399"), none);
  std::string before = stamp();
  auto cannotCarry = [](const std::string& version) {
    return "ERROR 1019h: Version " + version +
           " cannot be written to the version stamp: it needs four fields from 0 to 65535 in 7 "
           "to 23 printable characters.";
  };
  EXPECT_EQ(write("1.2.3.70000"), cannotCarry("1.2.3.70000"));
  EXPECT_EQ(write("-1.2.3.4"), cannotCarry("-1.2.3.4"));
  EXPECT_EQ(write("1.2.3.4.5.6.7.8.9.10.111"), cannotCarry("1.2.3.4.5.6.7.8.9.10.111"));
  EXPECT_EQ(write("11.8"),
            "ERROR 1018h: Version 11.8 is malformed: its field 3 is missing, not "
            "a number or out of range.");
  EXPECT_TRUE(stamp() == before);
}

// The version strings carry one ASCII character per UTF-16 unit, two hex digits each: a control
// character or a byte from 0x80 on would come out as a corrupt image.
TEST_F(VersionStampTest, CharactersTheStampCannotCarryLeaveTheOldStamp) {
  ASSERT_EQ(write("11.8.50.3399"), none);
  std::string before = stamp();
  for (const std::string& version :
       {std::string("11.2211.22.3#\x01\x06"), std::string("1.2.3.4\t"), std::string("1.2.3.4\xe9"),
        std::string("1.2.3.4\x7f"), std::string("1.2.3.4\0x", 9)}) {
    EXPECT_EQ(write(version), "ERROR 1019h: Version " + version +
                                  " cannot be written to the version stamp: it needs four fields "
                                  "from 0 to 65535 in 7 to 23 printable characters.");
  }
  EXPECT_TRUE(stamp() == before);
  EXPECT_EQ(write("1.2.3.4 ~beta_1"), none);
  EXPECT_EQ(stamp().size(), expectedLength(15));
}

// The names in the stamp's folder, with a slash after each folder.
std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The stamp is written beside the old one and moved over it only once complete: whatever stops
// the write on the way leaves the old stamp as it was and no temporary file behind.
TEST_F(VersionStampTest, FailedReplacementKeepsTheOldStampAndLeavesNothingBehind) {
  const std::string failed =
      "ERROR 2003s: Cannot write to file " + folder.string() + "\\MeFwVer.sys.";
  ASSERT_EQ(write("11.8.50.3399"), none);
  // The temporary file is written but cannot be moved over the stamp's name.
  fs::remove(folder / "MeFwVer.sys");
  fs::create_directory(folder / "MeFwVer.sys");
  EXPECT_EQ(write("11.8.55.3510"), failed);
  EXPECT_EQ(entriesOf(folder), std::vector<std::string>{"MeFwVer.sys/"});
  EXPECT_TRUE(fs::is_empty(folder / "MeFwVer.sys"));
}

// Anyone may make folders and links at the root of the system drive: no name planted beside the
// stamp may stop its write or be written through. What earlier writes left is cleared away,
// unless it is new enough to be another installer's write in progress.
TEST_F(VersionStampTest, NothingPlantedBesideTheStampStopsItOrIsWrittenThrough) {
  fs::create_directory(folder / "MeFwVer.sys.tmp");
  writeFileBytes((folder / "target").string(), "untouched");
  std::error_code noLinks;  // where links cannot be made, a plain file stands in their place
  fs::create_symlink(folder / "target", folder / "MeFwVer.sys.tmp-", noLinks);
  if (noLinks) writeFileBytes((folder / "MeFwVer.sys.tmp-").string(), "planted");
  std::string old = (folder / "MeFwVer.sys.tmp-0123456789abcdef").string();
  std::string recent = (folder / "MeFwVer.sys.tmp-fedcba9876543210").string();
  writeFileBytes(old, "left over");
  writeFileBytes(recent, "being written");
  fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::minutes(2));
  ASSERT_EQ(write("11.8.50.3399"), none);
  EXPECT_EQ(entriesOf(folder), (std::vector<std::string>{"MeFwVer.sys", "MeFwVer.sys.tmp-",
                                                         "MeFwVer.sys.tmp-fedcba9876543210",
                                                         "MeFwVer.sys.tmp/", "target"}));
  EXPECT_EQ(readFileBytes((folder / "target").string()), "untouched");
}

TEST_F(VersionStampTest, UnwritablePlaceIsReportedWithThePath) {
  fake().environment["SystemDrive"] = (folder / "no-such-drive").string();
  EXPECT_EQ(write("11.8.50.3399"), "ERROR 2003s: Cannot write to file " +
                                       (folder / "no-such-drive").string() + "\\MeFwVer.sys.");
}

}  // namespace
