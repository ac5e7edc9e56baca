#include "settings/run_settings.h"

#include "app/error_catalogue.h"
#include "settings/help.h"
#include "test_support.h"

namespace {

using RunSettingsTest = UnitTest;

std::string alreadySet(const std::string& key) {
  return "ERROR 1005h: You've already set " + key + ", you can only set it once.";
}

TEST_F(RunSettingsTest, EverySettingCanBeSetOnlyOnce) {
  struct Case {
    void (*set)();
    bool (*get)();
    const char* key;
  };
  const Case cases[] = {
      {setVerboseFlag, verboseFlag, "VERBOSEFLAG"},
      {setSameVersionFlag, sameVersionFlag, "SAMEVERSIONFLAG"},
      {setHelpFlag, helpFlag, "HELPFLAG"},
      {setSuperSecretHelpFlag, superSecretHelpFlag, "SUPERSECRETHELPFLAG"},
      {setLogFlag, logFlag, "LOGFLAG"},
      {setRebootFlag, rebootFlag, "REBOOTFLAG"},
      {setSilentFlag, silentFlag, "SILENTFLAG"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.get()) << c.key;
    c.set();
    EXPECT_TRUE(c.get()) << c.key;
    EXPECT_EQ(raisedBy(c.set), alreadySet(c.key));
    EXPECT_TRUE(c.get()) << c.key;
  }
  setHelpText("first");
  EXPECT_EQ(raisedBy([] { setHelpText("second"); }), alreadySet("HELPTEXT"));
  EXPECT_EQ(helpText(), "first");
  setSuperSecretHelpText("secret");
  EXPECT_EQ(raisedBy([] { setSuperSecretHelpText("x"); }), alreadySet("SUPERSECRETHELPTEXT"));
  EXPECT_EQ(superSecretHelpText(), "secret");
}

TEST_F(RunSettingsTest, SuperVerboseImpliesVerboseAndClashesWithIt) {
  setSuperVerboseFlag();
  EXPECT_TRUE(verboseFlag());
  EXPECT_TRUE(superVerboseFlag());
  EXPECT_EQ(raisedBy(setSuperVerboseFlag), alreadySet("SUPERVERBOSEFLAG"));
  EXPECT_EQ(raisedBy(setVerboseFlag), alreadySet("VERBOSEFLAG"));

  resetProcessState();
  setVerboseFlag();
  EXPECT_EQ(raisedBy(setSuperVerboseFlag), alreadySet("VERBOSEFLAG"));
  EXPECT_FALSE(superVerboseFlag());
}

TEST_F(RunSettingsTest, ErrorCodesAreMergedIntoTheCatalogueOnce) {
  errorCatalogue() = startErrorCatalogue();
  EXPECT_EQ(errorCatalogue().count("1014h"), 0u);
  setErrorCodes(runTimeErrorCodes());
  EXPECT_EQ(errorCatalogue().count("1014h"), 1u);
  EXPECT_EQ(raisedBy([] { setErrorCodes({}); }), alreadySet("ERRORCODES"));
}

TEST_F(RunSettingsTest, HelpShowsTheProgramFileNameAfterTheLastBackslash) {
  setHelpText(plainHelpText);
  setSuperSecretHelpText(secretHelpText);
  printHelp("C:\\Kits\\ME\\mefwupdate.exe");
  EXPECT_EQ(fake().output, std::string("mefwupdate.exe") + plainHelpText);
  fake().output.clear();
  printSuperSecretHelp("tools/mefwupdate");
  EXPECT_EQ(fake().output, std::string("tools/mefwupdate") + secretHelpText);
}

}  // namespace
