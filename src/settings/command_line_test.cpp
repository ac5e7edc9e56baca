#include "settings/command_line.h"

#include <vector>

#include "app/error_catalogue.h"
#include "console/messages.h"
#include "settings/run_settings.h"
#include "test_support.h"

namespace {

class CommandLineTest : public UnitTest {
 protected:
  // Parses the arguments after a program path; returns what was raised, if anything.
  std::string parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "mefwupdate.exe");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    return raisedBy([&] { parseCommandLine(static_cast<int>(argv.size()), argv.data()); });
  }
};

const std::string invalid = "ERROR 1014h: Invalid command line arguments. Use -h for help.";
const std::string nothing = "(nothing raised)";

TEST_F(CommandLineTest, EveryAcceptedSpellingSetsItsSetting) {
  struct Case {
    const char* argument;
    bool (*isSet)();
  };
  const Case cases[] = {
      {"-s", silentFlag},
      {"-silent", silentFlag},
      {"-v", verboseFlag},
      {"-verbose", verboseFlag},
      {"-sv", superVerboseFlag},
      {"-superverbose", superVerboseFlag},
      {"-force", sameVersionFlag},
      {"-log", logFlag},
      {"-h", helpFlag},
      {"-help", helpFlag},
      {"-?", helpFlag},
      {"-supersecrethelp", superSecretHelpFlag},
      {"-r", rebootFlag},
      {"-restart", rebootFlag},
      {"-reboot", rebootFlag},
      {"-allowunsigned", allowUnsignedFlag},
      {"-AllowUnsigned", allowUnsignedFlag},
      {"-Scan", scanFlag},
  };
  for (const Case& c : cases) {
    resetProcessState();
    EXPECT_EQ(parse({c.argument}), nothing) << c.argument;
    EXPECT_TRUE(c.isSet()) << c.argument;
  }
  EXPECT_EQ(parse({"-meInfo", "-MEINFO", "-systemInfo", "-systeminfo"}), nothing);
  EXPECT_TRUE(runSettings().meInfoMode);
  EXPECT_TRUE(runSettings().systemInfoMode);
}

TEST_F(CommandLineTest, UpperCaseIsAcceptedButOtherFormsAreNot) {
  EXPECT_EQ(parse({"-S", "-superSecretHelp"}), nothing);
  EXPECT_TRUE(silentFlag());
  EXPECT_TRUE(superSecretHelpFlag());
  for (const char* wrong : {"/s", "h", "help", "silent", "restart", "reboot", "", "-s ", "--s"}) {
    resetProcessState();
    EXPECT_EQ(parse({wrong}), invalid) << '"' << wrong << '"';
  }
}

TEST_F(CommandLineTest, InvalidArgumentStopsBeforeTheRestAndBeforeTheEcho) {
  EXPECT_EQ(parse({"-s", "-x", "-r"}), invalid);
  EXPECT_TRUE(silentFlag());
  EXPECT_FALSE(rebootFlag());
  EXPECT_EQ(runLogText(), "");
}

TEST_F(CommandLineTest, RepeatedSettingsNameTheirKey) {
  auto clash = [](const char* key) {
    return std::string("ERROR 1005h: You've already set ") + key + ", you can only set it once.";
  };
  EXPECT_EQ(parse({"-h", "-?"}), clash("HELPFLAG"));
  resetProcessState();
  EXPECT_EQ(parse({"-r", "-reboot"}), clash("REBOOTFLAG"));
  resetProcessState();
  EXPECT_EQ(parse({"-sv", "-v"}), clash("VERBOSEFLAG"));
  resetProcessState();
  EXPECT_EQ(parse({"-v", "-sv"}), clash("VERBOSEFLAG"));
  resetProcessState();
  EXPECT_EQ(parse({"-sv", "-superverbose"}), clash("SUPERVERBOSEFLAG"));
  resetProcessState();
  EXPECT_EQ(parse({"-allowunsigned", "-s", "-allowUnsigned"}), clash("allowUnsigned"));
  resetProcessState();
  EXPECT_EQ(parse({"-scan", "-SCAN"}), clash("scan"));
}

TEST_F(CommandLineTest, EchoListsSetOptionsInFixedOrder) {
  EXPECT_EQ(parse({"-s", "-log", "-v"}), nothing);
  EXPECT_EQ(fake().output, "Command line arguments: silent verbose log\n\n");
  std::vector<std::string> expected = {"Command line arguments:", " silent", " verbose", " log",
                                       "\n\n"};
  EXPECT_EQ(runLog(), expected);
}

TEST_F(CommandLineTest, AllowUnsignedAndScanAreEchoedInTheirPlace) {
  EXPECT_EQ(parse({"-scan", "-allowunsigned", "-systeminfo", "-v"}), nothing);
  EXPECT_EQ(fake().output, "Command line arguments: verbose systemInfo allowUnsigned scan\n\n");
}

TEST_F(CommandLineTest, EchoIsLoggedButHiddenWithoutVerbose) {
  EXPECT_EQ(parse({"-r", "-systeminfo", "-meinfo", "-force", "-sv", "-h", "-supersecrethelp"}),
            nothing);
  EXPECT_EQ(fake().output,
            "Command line arguments: verbose superverbose force meInfo help superSecretHelp "
            "reboot systemInfo\n\n");
  resetProcessState();
  EXPECT_EQ(parse({"-s"}), nothing);
  EXPECT_EQ(fake().output, "");
  EXPECT_EQ(runLogText(), "Command line arguments: silent\n\n");
}

}  // namespace
