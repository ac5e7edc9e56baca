#include "update/update_progress.h"

#include "settings/run_settings.h"
#include "test_support.h"

namespace {

class UpdateProgressTest : public UnitTest {
 protected:
  std::string parse(const std::string& line) {
    return raisedBy([&] { parseUpdateProgress(line); });
  }
};

const std::string none = "(nothing raised)";

TEST_F(UpdateProgressTest, VerificationRedrawsInPlaceAndRecordsZeroAndHundredOnce) {
  for (const char* line :
       {"FW image verification: [ 0 % ]", "verification: [  5% ]", "Image verification:[0 %]",
        "verification: [ 100 % ]", "verification: [ 100 % ]", "verification: [ % ]"}) {
    EXPECT_EQ(parse(line), none) << line;
  }
  EXPECT_EQ(fake().output,
            "Verifying FW image:  [   0 % ]\r"
            "Verifying FW image:  [   5 % ]\r"
            "Verifying FW image:  [   0 % ]\r"
            "Verifying FW image:  [ 100 % ]\r"
            "Verifying FW image:  [ 100 % ]\r"
            "Verifying FW image:  [     % ]\r");
  EXPECT_EQ(runLogText(), "Verifying FW image:  [   0 % ]\nVerifying FW image:  [ 100 % ]\n");
  EXPECT_TRUE(progressRecords().verifyStartShown);
  EXPECT_TRUE(progressRecords().verifyEndShown);
  EXPECT_FALSE(progressRecords().updateStartShown);
}

TEST_F(UpdateProgressTest, UpdateProgressNeedsTheSpinnerShape) {
  setSuperVerboseFlag();
  EXPECT_EQ(parse("FW Update:  [ 100% (/)]"), none);
  EXPECT_EQ(parse("FW Update : [ 40% (-)] extra ]"), none);
  EXPECT_EQ(parse("FW Update: [ 1234% (|)]"), none);
  EXPECT_EQ(fake().output,
            "Updating FW:  [ 100 % ]\rUpdating FW:  [ 100 % ]\n"
            "Updating FW:  [  40 % ]\rUpdating FW:  [ 1234 % ]\r");
  // Two blanks before the parenthesis, or two characters inside it, are just echoed lines.
  resetProcessState();
  setVerboseFlag();
  EXPECT_EQ(parse("FW Update: [ 40%  (/)]"), none);
  EXPECT_EQ(parse("FW Update: [ 40% (//)]"), none);
  EXPECT_EQ(fake().output, "FW Update: [ 40%  (/)]\nFW Update: [ 40% (//)]\n");
}

TEST_F(UpdateProgressTest, RecordsNeedExactlyZeroOrHundred) {
  EXPECT_EQ(parse("verification: [ 00 % ]"), none);
  EXPECT_EQ(parse("verification: [ 0100 % ]"), none);
  EXPECT_EQ(runLogText(), "");
}

TEST_F(UpdateProgressTest, CompleteLinesAreShownEveryTime) {
  EXPECT_EQ(parse("Image verification: [ COMPLETE ]"), none);
  EXPECT_EQ(parse("COMPLETE and Error 5: x"), none);
  EXPECT_EQ(fake().output,
            "Verifying FW image:  [ COMPLETE ]\n\nVerifying FW image:  [ COMPLETE ]\n\n");
  EXPECT_FALSE(progressRecords().completed);
}

TEST_F(UpdateProgressTest, ToolErrorsEndTheRun) {
  EXPECT_EQ(parse("Error 8703: Image already staged"),
            "CODE  3002n: The firmware was already installed and requires a reboot. PLEASE "
            "REBOOT YOUR SYSTEM.");
  EXPECT_EQ(parse("Error 348: x"), parse("Error 8703: y"));
  EXPECT_EQ(parse("Error 0348: staged"), "ERROR 0348u: staged");
  EXPECT_EQ(parse("Error 8716: Invalid image completed"), "ERROR 8716u: Invalid image completed");
  EXPECT_EQ(parse("Error : no number"), "ERROR u: no number");
  EXPECT_NE(runLogText().find("Error 8716: Invalid image completed"), std::string::npos);
}

TEST_F(UpdateProgressTest, CompletionIsAlwaysShownAndRemembered) {
  EXPECT_EQ(parse("FW Update completed successfully."), none);
  EXPECT_EQ(fake().output,
            "Update complete. You must reboot your computer in order for the Management Engine "
            "firmware update to be effective.\n\n");
  EXPECT_TRUE(progressRecords().completed);
  EXPECT_EQ(fake().attributesSet, (std::vector<int>{10, 7}));
}

TEST_F(UpdateProgressTest, OtherLinesAreEchoedOnTheVerboseChannel) {
  EXPECT_EQ(parse(""), none);
  EXPECT_EQ(parse("Checking firmware parameters..."), none);
  EXPECT_EQ(fake().output, "");
  EXPECT_EQ(runLogText(), "\nChecking firmware parameters...\n");
}

}  // namespace

TEST_F(UpdateProgressTest, RedrawsWaitForTheNextFlushOtherOutputDoesNot) {
  EXPECT_EQ(parse("FW Update:  [ 40% (-)]"), none);
  EXPECT_EQ(parse("verification: [ 5 % ]"), none);
  EXPECT_EQ(fake().output, "Updating FW:  [  40 % ]\rVerifying FW image:  [   5 % ]\r");
  EXPECT_EQ(fake().outputShown, 0u);
  // The COMPLETE line stands on the console, so it is shown at once, with the redraws before.
  EXPECT_EQ(parse("verification: [ COMPLETE ]"), none);
  EXPECT_EQ(fake().outputShown, fake().output.size());
  EXPECT_EQ(parse("FW Update:  [ 41% (/)]"), none);
  EXPECT_EQ(parse("FW Update completed"), none);
  EXPECT_EQ(fake().outputShown, fake().output.size());
}

TEST_F(UpdateProgressTest, ShownRecordsFlushTheRedrawBeforeThem) {
  setSuperVerboseFlag();
  EXPECT_EQ(parse("FW Update:  [ 0% (|)]"), none);
  EXPECT_EQ(fake().output, "Updating FW:  [   0 % ]\rUpdating FW:  [   0 % ]\n");
  EXPECT_EQ(fake().outputShown, fake().output.size());
}

// A line seen before is handled just as the first time.
TEST_F(UpdateProgressTest, LinesSeenBeforeAreHandledAlike) {
  const std::string lines[] = {"verification: [ 7 % ]", "FW Update:  [ 8% (|)]",
                               "Image verification: [ COMPLETE ]", "plain line"};
  setVerboseFlag();
  for (const std::string& line : lines) {
    EXPECT_EQ(parse(line), none);
  }
  const std::string once = fake().output;
  for (const std::string& line : lines) {
    EXPECT_EQ(parse(line), none);
  }
  EXPECT_EQ(fake().output, once + once);
  EXPECT_EQ(parse("Error 8716: Invalid image"), "ERROR 8716u: Invalid image");
  EXPECT_EQ(parse("Error 8716: Invalid image"), "ERROR 8716u: Invalid image");
}

TEST_F(UpdateProgressTest, ManyDistinctAndLongLinesAreStillReadRight) {
  for (int i = 0; i < 3000; ++i) {
    EXPECT_EQ(parse("pass " + std::to_string(i) + " verification: [ 9 % ]"), none);
  }
  std::string longLine = std::string(5000, 'x') + " FW Update:  [ 55% (/)]";
  fake().output.clear();
  EXPECT_EQ(parse("pass 0 verification: [ 9 % ]"), none);
  EXPECT_EQ(parse(longLine), none);
  EXPECT_EQ(parse(longLine), none);
  EXPECT_EQ(fake().output,
            "Verifying FW image:  [   9 % ]\rUpdating FW:  [  55 % ]\rUpdating FW:  [  55 % ]\r");
}
