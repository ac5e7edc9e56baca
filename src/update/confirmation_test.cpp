#include "update/confirmation.h"

#include "settings/run_settings.h"
#include "test_support.h"

namespace {

using ConfirmationTest = UnitTest;

const std::string question = "Do you want to update the Management Engine firmware now [Y/N]? ";
const std::string invalid = "Invalid input.  Please input Y for yes or N for no.\n";

TEST_F(ConfirmationTest, UpperOrLowerCaseAnswers) {
  fake().inputWords = {"Y"};
  EXPECT_TRUE(askUserToUpdate());
  EXPECT_EQ(fake().output, question + "\n");
  EXPECT_EQ(runLogText(), "USER INPUT: \n" + question + "y\n");
  fake().inputWords = {"n"};
  fake().inputWordsRead = 0;
  EXPECT_FALSE(askUserToUpdate());
}

TEST_F(ConfirmationTest, InvalidWordsAskAgainUntilAValidOne) {
  fake().inputWords = {"yes", "maybe", "N", "y"};
  EXPECT_FALSE(askUserToUpdate());
  EXPECT_EQ(fake().output, question + invalid + question + invalid + question + "\n");
  // The word after the answer stays unread.
  EXPECT_EQ(fake().inputWordsRead, 3u);
  // The complaints bypass the run log.
  EXPECT_EQ(runLogText().find("Invalid input"), std::string::npos);
}

TEST_F(ConfirmationTest, InputThatEndsIsTakenAsNo) {
  EXPECT_FALSE(askUserToUpdate());
  fake().inputWords = {"what", "?"};
  EXPECT_FALSE(askUserToUpdate());
  EXPECT_EQ(fake().inputWordsRead, 2u);
  EXPECT_NE(runLogText().find("taking it as no"), std::string::npos);
}

TEST_F(ConfirmationTest, UpfrontMessageIsAWarningWithAPause) {
  InputProfile profile;
  profile.setUpfrontMessage("Keep it plugged in.\nOne minute.");
  showUpfrontMessage(profile);
  EXPECT_EQ(fake().output, "Keep it plugged in.\nOne minute.\n\n");
  EXPECT_EQ(fake().commandsRun, std::vector<std::string>{"Timeout /T 5"});
  EXPECT_EQ(fake().attributesSet, (std::vector<int>{7, 14, 7}));
}

TEST_F(ConfirmationTest, NoUpfrontMessageNoPause) {
  setVerboseFlag();
  showUpfrontMessage(InputProfile{});
  EXPECT_EQ(fake().output, "Upfront message:\nNo upfront message\n\n");
  EXPECT_TRUE(fake().commandsRun.empty());
}

}  // namespace
