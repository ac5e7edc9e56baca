#include "mefwkit/kit_command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Parses the words as the command line after the program name.
std::string parse(std::vector<std::string> words, KitArguments& arguments) {
  words.insert(words.begin(), "mefwkit");
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  return parseKitArguments(static_cast<int>(argv.size()), argv.data(), arguments);
}

TEST(KitCommandLineTest, ValuesTakeEitherForm) {
  KitArguments arguments;
  EXPECT_EQ(
      parse({"plan", "kit", "--bios=N01 Ver. 1.05", "--me", "11.8.50.3399 ", "--force"}, arguments),
      "");
  EXPECT_EQ(arguments.kitbox, "kit");
  EXPECT_EQ(arguments.biosText, "N01 Ver. 1.05");
  EXPECT_EQ(arguments.meText, "11.8.50.3399 ");
  EXPECT_TRUE(arguments.force);
  KitArguments other;
  EXPECT_EQ(parse({"plan", "--me=11.8.50.3399\r", "--bios", "N01=x"}, other), "");
  EXPECT_EQ(other.meText, "11.8.50.3399\r");
  EXPECT_EQ(other.biosText, "N01=x");
}

TEST(KitCommandLineTest, AnInstalledVersionWithoutDigitsIsAUsageError) {
  for (const char* me : {"v11.8.50.3399", "", " unknown", "--"}) {
    KitArguments arguments;
    std::string complaint =
        parse({"plan", "--bios", "N01 1", std::string("--me=") + me}, arguments);
    EXPECT_NE(complaint.find("--me holds no firmware version: expected digits and dots"),
              std::string::npos)
        << me;
  }
  KitArguments arguments;
  EXPECT_EQ(parse({"plan", "--bios", "N01 1", "--me"}, arguments), "--me needs a value");
  EXPECT_EQ(parse({"plan", "--bios=", "--me=1.2.3.4"}, arguments),
            "plan needs --bios \"<BIOS version string>\"");
  EXPECT_EQ(parse({"check", "--bios=N01"}, arguments), "unknown option --bios=N01 for check");
}

TEST(KitCommandLineTest, HelpForEachCommandAndTheVersion) {
  KitArguments check;
  EXPECT_EQ(parse({"check", "kit", "--help"}, check), "");
  EXPECT_EQ(check.command, "help");
  EXPECT_EQ(check.helpTopic, "check");
  KitArguments plan;
  EXPECT_EQ(parse({"plan", "-h", "--bogus"}, plan), "");
  EXPECT_EQ(plan.helpTopic, "plan");
  KitArguments version;
  EXPECT_EQ(parse({"--version"}, version), "");
  EXPECT_EQ(version.command, "version");
  KitArguments extra;
  EXPECT_EQ(parse({"--version", "check"}, extra), "nothing may follow --version");
  EXPECT_EQ(kitHelpText("check").find("plan   tells"), std::string::npos);
  EXPECT_NE(kitHelpText("").find("plan   tells"), std::string::npos);
  EXPECT_NE(kitHelpText("plan").find("Exit status 64"), std::string::npos);
}

TEST(KitCommandLineTest, TheGateAndTheSignatureOptions) {
  KitArguments bios;
  EXPECT_EQ(parse({"plan", "--bios", "N01 1", "--allowunsigned", "--no-signature-check"}, bios),
            "");
  EXPECT_FALSE(bios.meGiven);
  EXPECT_TRUE(bios.allowUnsigned && bios.noSignatureCheck);
  KitArguments gate;
  EXPECT_EQ(parse({"plan", "--machines=m.csv", "--expect=0", "--allow-unreadable", "3"}, gate), "");
  EXPECT_EQ(parseAllowedCount(gate.allowUnreadable), 3);
  KitArguments bad;
  EXPECT_EQ(parse({"plan", "--machines=m.csv", "--allow-unreadable=3"}, bad),
            "--allow-unreadable needs --expect");
  EXPECT_EQ(parse({"plan", "--machines=m.csv", "--expect=0", "--allow-unreadable=-1"}, bad),
            "--allow-unreadable needs a number of machines, such as 3");
  EXPECT_EQ(parse({"check", "--allowunsigned"}, bad), "unknown option --allowunsigned for check");
}

}  // namespace
