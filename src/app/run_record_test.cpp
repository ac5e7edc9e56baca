#include "app/run_record.h"

#include <nlohmann/json.hpp>

#include "app/run_guards.h"
#include "app/run_record_store.h"
#include "console/log_files.h"
#include "console/messages.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::ordered_json;

// The record's schema 1: every field, in order, with the types it may have.
void expectSchemaOne(const json& record) {
  ASSERT_TRUE(record.is_object());
  std::vector<std::string> keys;
  for (const auto& item : record.items()) {
    keys.push_back(item.key());
  }
  EXPECT_EQ(keys,
            (std::vector<std::string>{"schema", "program", "programVersion", "computerName",
                                      "state", "started", "ended", "arguments", "mode", "kitbox",
                                      "exitCode", "message", "bios", "profile", "firmware", "flash",
                                      "restartRequested", "restartPending", "logs"}));
  EXPECT_EQ(record["schema"], 1);
  EXPECT_EQ(record["program"], "mefwupdate");
  EXPECT_TRUE(record["started"].is_string());
  EXPECT_TRUE(record["ended"].is_string() || record["ended"].is_null());
  EXPECT_TRUE(record["arguments"].is_array());
  EXPECT_TRUE(record["mode"].is_string() || record["mode"].is_null());
  EXPECT_TRUE(record["exitCode"].is_number_integer() || record["exitCode"].is_null());
  const json& message = record["message"];
  EXPECT_TRUE(message.is_null() || (message["code"].is_string() && message["text"].is_string()));
  EXPECT_TRUE(record["bios"].is_null() || record["bios"]["text"].is_string());
  for (const char* key : {"installed", "kitbox", "stamped"}) {
    EXPECT_TRUE(record["firmware"][key].is_string() || record["firmware"][key].is_null());
  }
  for (const char* key : {"started", "completed", "leftover"}) {
    EXPECT_TRUE(record["flash"][key].is_boolean() || record["flash"][key].is_null());
  }
  EXPECT_TRUE(record["restartPending"].is_boolean() || record["restartPending"].is_null());
  EXPECT_TRUE(record["logs"].is_array());
}

json parsed(const std::string& text) {
  json value = json::parse(text, nullptr, false);
  EXPECT_FALSE(value.is_discarded()) << text.substr(0, 200);
  return value;
}

TEST(RunRecordTest, AnEmptyRecordHasEveryFieldAndNullsForWhatIsNotKnown) {
  RunRecord record;
  record.started = 1796771400;  // 2026-12-08T23:10:00Z
  json value = parsed(runRecordJson(record));
  expectSchemaOne(value);
  EXPECT_EQ(value["started"], "2026-12-08T23:10:00Z");
  for (const char* key : {"ended", "mode", "kitbox", "exitCode", "message", "bios", "profile",
                          "restartRequested", "restartPending"}) {
    EXPECT_TRUE(value[key].is_null()) << key;
  }
  EXPECT_EQ(value["firmware"], json::parse(R"({"installed":null,"kitbox":null,"stamped":null})"));
}

TEST(RunRecordTest, OddBytesAndLongTextsStayValidJson) {
  RunRecord record;
  record.mode = "update";
  record.arguments = {"-s", std::string("\x80\xff\"\\\n\x01", 6), "\xc3\xa9"};
  record.kitbox = "C:\\Windows\\IMECache\\{1}";
  record.exitCode = 4001;
  record.message = "ERROR 8193u: " + std::string(1 << 20, 'x') + "\xfe";
  record.biosText = "N01 Ver. 1.05.2  \x99";
  record.biosSource = "smbios";
  record.profile = 0;
  record.flashStarted = true;
  record.flashCompleted = false;
  record.flashLeftover = true;
  record.logs = {"installerError.log"};
  json value = parsed(runRecordJson(record));
  expectSchemaOne(value);
  // A byte that is not UTF-8 becomes the code point of its value; UTF-8 passes unchanged.
  EXPECT_EQ(value["arguments"][1], "\xc2\x80\xc3\xbf\"\\\n\x01");
  EXPECT_EQ(value["arguments"][2], "\xc3\xa9");
  EXPECT_EQ(value["kitbox"], "C:\\Windows\\IMECache\\{1}");
  EXPECT_EQ(value["message"]["code"], "8193u");
  // The text is kept to 64 KiB, its start and a mark that says so.
  std::string text = value["message"]["text"];
  EXPECT_EQ(text.size(), recordedMessageLimit);
  EXPECT_EQ(text.substr(0, 20), "ERROR 8193u: xxxxxxx");
  std::string mark = "\n[cut: only the first 65482 of 1048590 bytes are kept]";
  EXPECT_EQ(text.substr(text.size() - mark.size()), mark);
  EXPECT_EQ(value["bios"]["text"], "N01 Ver. 1.05.2  \xc2\x99");
  EXPECT_EQ(value["bios"]["source"], "smbios");
  EXPECT_EQ(value["flash"], json::parse(R"({"started":true,"completed":false,"leftover":true})"));
  record.restartPending = true;
  EXPECT_EQ(parsed(runRecordJson(record))["restartPending"], true);
}

TEST(RunRecordTest, TimesReadBackAsTheyAreWritten) {
  for (std::time_t time :
       {std::time_t{0}, std::time_t{951782400}, std::time_t{1796771400}, std::time_t{4102444799}}) {
    EXPECT_EQ(parseUtcText(utcText(time)), std::optional<std::time_t>(time)) << time;
  }
  for (const char* wrong :
       {"", "2026-12-08T23:10:00", "2026-12-08 23:10:00Z", "2026-13-08T23:10:00Z",
        "2026-12-08T23:1x:00Z", "2026-12-08T23:10:00Z ", "+026-12-08T23:10:00Z"}) {
    EXPECT_EQ(parseUtcText(wrong), std::nullopt) << wrong;
  }
}

TEST(RunRecordTest, AMessageIsCutOnlyPastTheLimitAndNeverInsideACharacter) {
  std::string fits = "ERROR 8193v: " + std::string(recordedMessageLimit - 13, 'x');
  EXPECT_EQ(recordedMessageText(fits), fits);
  std::string over = fits + "x";
  EXPECT_EQ(recordedMessageText(over).size(), recordedMessageLimit);
  // Two-byte characters throughout, after a lead of either parity: the cut falls between two.
  for (const std::string lead : {"ERROR 8193v: ", "ERROR 8193v:  "}) {
    std::string wide = lead;
    while (wide.size() < 2 * recordedMessageLimit) {
      wide += "\xc3\xa9";
    }
    std::string kept = recordedMessageText(wide);
    EXPECT_LE(kept.size(), recordedMessageLimit);
    EXPECT_GE(kept.size(), recordedMessageLimit - 1);
    std::size_t cut = kept.find("\n[cut: ");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ((cut - lead.size()) % 2, 0u) << lead.size();
    EXPECT_EQ(kept.substr(cut), "\n[cut: only the first " + std::to_string(cut) + " of " +
                                    std::to_string(wide.size()) + " bytes are kept]");
  }
}

TEST(RunRecordTest, MessageCodeIsWhatStandsAfterErrorOrCode) {
  EXPECT_EQ(messageCode("ERROR 2010s: This platform is not supported by the Kitbox."), "2010s");
  EXPECT_EQ(messageCode("CODE  3001n: Your system already has firmware"), "3001n");
  EXPECT_EQ(messageCode("ERROR 8193u: Invalid image"), "8193u");
  EXPECT_EQ(messageCode("ERROR u: no number"), "u");
  EXPECT_EQ(messageCode("Something else: 1"), "");
  EXPECT_EQ(messageCode("ERROR no colon"), "");
  EXPECT_EQ(messageCode("ERROR two words: x"), "");
}

TEST(RunRecordTest, PruningKeepsExactlyTheNewestTwentyByTimeThenProcessIdAsANumber) {
  std::vector<std::string> names;
  for (int second = 0; second < 23; ++second) {
    names.push_back(runFolderName(1796771400 + second, 500));
  }
  // Within one second, process 10 is newer than process 9.
  names.push_back(runFolderName(1796771400, 10));
  names.push_back(runFolderName(1796771400, 9));
  names.push_back("notes");
  names.push_back("20261208T231000Z-");
  std::vector<std::string> pruned = runFoldersToPrune(names, keptRunFolders);
  EXPECT_EQ(pruned, (std::vector<std::string>{"20261208T231000Z-9", "20261208T231000Z-10",
                                              "20261208T231000Z-500", "20261208T231001Z-500",
                                              "20261208T231002Z-500"}));
  EXPECT_TRUE(runFoldersToPrune({"20261208T231000Z-1"}, keptRunFolders).empty());
}

TEST(RunRecordTest, ALogCopySaysWhenItWasCut) {
  EXPECT_EQ(logCopyHeader(10), "");
  EXPECT_EQ(logCopyHeader(logCopyLimit), "");
  EXPECT_EQ(logCopyHeader(logCopyLimit + 5),
            "[cut: only the last 4194304 of 4194309 bytes are kept]\n");
}

// The writer against the scripted platform, whose folders are real, in a run that holds the
// guard.
class RunRecordStoreTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    claimFirmwareAccess();
  }
  RunRecord record() {
    RunRecord run;
    run.started = 1796771400;
    run.mode = "update";
    run.state = "running";
    return run;
  }
  std::string runFolder() { return "state/runs/20261208T231000Z-4242"; }
};

TEST_F(RunRecordStoreTest, WritesTheRunsResultAndLastRunAndLastFlashOnlyOnceAFlashStarted) {
  RunRecord run = record();
  writeRunRecord(run, false);
  EXPECT_EQ(readFileBytes(runFolder() + "/result.json"), runRecordJson(run));
  EXPECT_EQ(readFileBytes("state/last-run.json"), runRecordJson(run));
  EXPECT_FALSE(fs::exists("state/last-flash.json"));
  run.state = "flashing";
  run.flashStarted = true;
  writeRunRecord(run, false);
  EXPECT_EQ(readFileBytes("state/last-flash.json"), runRecordJson(run));
  EXPECT_EQ(runLogText(), "");
}

TEST_F(RunRecordStoreTest, AScanWritesLastScanAloneWithoutARunFolder) {
  writeFileBytes("installerError.log", "short\n");
  RunRecord run = record();
  run.mode = "scan";
  run.logs = {"installerError.log"};
  writeRunRecord(run, false);
  writeRunRecord(run, true);
  EXPECT_EQ(readFileBytes("state/last-scan.json"), runRecordJson(run));
  EXPECT_FALSE(fs::exists("state/runs"));
  EXPECT_FALSE(fs::exists("state/last-run.json"));
  EXPECT_EQ(runRecordFolder(), "state");
}

// A run refused beside a flash must leave the flash's record alone: it makes no run folder,
// prunes none and never writes last-flash.json, whatever its record says.
TEST_F(RunRecordStoreTest, ARunThatDoesNotHoldTheGuardWritesLastRunOnly) {
  resetRunHoldsGuard();
  for (int i = 0; i < 25; ++i) {
    fs::create_directories("state/runs/" + runFolderName(1700000000 + i, 1));
  }
  RunRecord run = record();
  run.flashStarted = true;
  writeRunRecord(run, true);
  EXPECT_EQ(readFileBytes("state/last-run.json"), runRecordJson(run));
  EXPECT_FALSE(fs::exists(runFolder()));
  EXPECT_FALSE(fs::exists("state/last-flash.json"));
  EXPECT_EQ(std::distance(fs::directory_iterator("state/runs"), fs::directory_iterator()), 25);
  // Once it holds the guard, the same run gets its folder.
  claimFirmwareAccess();
  writeRunRecord(run, false);
  EXPECT_EQ(readFileBytes(runFolder() + "/result.json"), runRecordJson(run));
}

// The flash's outcome reaches last-flash.json even when the run's own folder was taken away.
TEST_F(RunRecordStoreTest, LastFlashFollowsTheFlashWhenResultCannotBeWritten) {
  RunRecord run = record();
  run.state = "flashing";
  run.flashStarted = true;
  writeRunRecord(run, false);
  fs::remove_all(runFolder());
  fs::create_directories(runFolder() + "/result.json");
  run.state = "finished";
  run.flashCompleted = true;
  writeRunRecord(run, true);
  EXPECT_EQ(readFileBytes("state/last-flash.json"), runRecordJson(run));
  EXPECT_EQ(readFileBytes("state/last-run.json"), runRecordJson(run));
  EXPECT_EQ(runLogText(),
            "The run record was not written: cannot write "
            "state\\runs\\20261208T231000Z-4242\\result.json\n");
}

TEST_F(RunRecordStoreTest, CopiesTheRunsLogsCutToTheirLastBytes) {
  writeLinesToFile("runLog.log", {"first\n", std::string(logCopyLimit - 5, 'y'), "last\n"},
                   platform::FileMode::raw);
  writeLinesToFile("installerError.log", {"short\n"}, platform::FileMode::raw);
  RunRecord run = record();
  run.logs = {"installerError.log", "runLog.log"};
  writeRunRecord(run, true);
  EXPECT_EQ(readFileBytes(runFolder() + "/installerError.log"), "short\n");
  std::string copy = readFileBytes(runFolder() + "/runLog.log");
  EXPECT_EQ(copy.substr(0, copy.find('\n') + 1),
            "[cut: only the last 4194304 of 4194310 bytes are kept]\n");
  EXPECT_EQ(copy.substr(copy.find('\n') + 1), std::string(logCopyLimit - 5, 'y') + "last\n");
}

TEST_F(RunRecordStoreTest, ALogsCopyIsWhatTheInstallerWroteNotWhatTheKitboxNowHolds) {
  writeLinesToFile("meInfoVerbose.txt", {"report\n"});
  writeFileBytes("secret", "secret\n");
  fs::remove("meInfoVerbose.txt");
  std::error_code noLinks;
  fs::create_symlink("secret", "meInfoVerbose.txt", noLinks);
  if (noLinks) writeFileBytes("meInfoVerbose.txt", "secret\n");
  RunRecord run = record();
  run.logs = logFilesWritten();
  writeRunRecord(run, true);
  // As the file was written: in text mode, with the line end of the platform's runtime.
  EXPECT_EQ(readFileBytes(runFolder() + "/meInfoVerbose.txt"), "report\r\n");
}

TEST_F(RunRecordStoreTest, ALongRunLogsCopyIsTakenFromTheLogAsItWasWritten) {
  for (int i = 0; i < 4400; ++i) {
    printVerbose(std::to_string(i) + std::string(1000, 'x') + "\n", "default");
  }
  printRunLog();
  printVerbose("after the file was written\n", "default");
  std::string file = readFileBytes("runLog.log");
  ASSERT_GT(file.size(), logCopyLimit);
  RunRecord run = record();
  run.logs = logFilesWritten();
  writeRunRecord(run, true);
  EXPECT_EQ(readFileBytes(runFolder() + "/runLog.log"),
            logCopyHeader(file.size()) + file.substr(file.size() - logCopyLimit));
}

TEST_F(RunRecordStoreTest, PrunesOtherRunsButNeverFoldersOfAnotherForm) {
  for (int i = 0; i < 25; ++i) {
    fs::create_directories("state/runs/" + runFolderName(1700000000 + i, 1));
  }
  fs::create_directories("state/runs/keep-me");
  writeRunRecord(record(), false);
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator("state/runs")) {
    count += entry.path().filename() != "keep-me";
  }
  EXPECT_EQ(count, keptRunFolders);
  EXPECT_TRUE(fs::exists(runFolder()));
  EXPECT_TRUE(fs::exists("state/runs/keep-me"));
  EXPECT_FALSE(fs::exists("state/runs/" + runFolderName(1700000005, 1)));
  EXPECT_TRUE(fs::exists("state/runs/" + runFolderName(1700000006, 1)));
}

TEST_F(RunRecordStoreTest, WritesNothingThroughAFolderTheChecksRefuse) {
  for (std::string refused : {"state\\runs", "state\\runs\\20261208T231000Z-4242"}) {
    resetProcessState();
    claimFirmwareAccess();
    fs::remove_all("state");
    fake().folderFacts[refused] = {true, true, true, platform::Account::system, {}};
    writeRunRecord(record(), false);
    writeRunRecord(record(), true);
    EXPECT_FALSE(fs::exists("state/last-run.json")) << refused;
    EXPECT_FALSE(fs::exists(runFolder() + "/result.json")) << refused;
    EXPECT_EQ(runLogText(),
              "The run record was not written: " + refused + " is a link or reparse point\n");
  }
}

TEST_F(RunRecordStoreTest, AStateFolderOfAnotherOwnerIsLeftAlone) {
  fake().stateFolder.clear();
  fake().stateFolderProblem = "C:\\ProgramData\\Norvane is owned by another account";
  writeRunRecord(record(), false);
  writeRunRecord(record(), true);
  EXPECT_FALSE(fs::exists("state"));
  EXPECT_EQ(runLogText(),
            "The run record was not written: C:\\ProgramData\\Norvane is owned by "
            "another account\n");
}

TEST_F(RunRecordStoreTest, PruningSkipsARefusedRunFolder) {
  for (int i = 0; i < 21; ++i) {
    fs::create_directories("state/runs/" + runFolderName(1700000000 + i, 1));
  }
  std::string planted = "state\\runs\\" + runFolderName(1700000000, 1);
  fake().folderFacts[planted] = {true, true, false, platform::Account::other, {}};
  writeRunRecord(record(), false);
  EXPECT_TRUE(fs::exists("state/runs/" + runFolderName(1700000000, 1)));
  EXPECT_FALSE(fs::exists("state/runs/" + runFolderName(1700000001, 1)));
}

TEST_F(RunRecordStoreTest, AnUnsoundStateFolderIsRenamedAsideOnlyOnceTheGuardIsHeld) {
  fs::create_directories("state/runs");
  writeFileBytes("state/last-run.json", "planted");
  fake().folderFacts["state"] = {true, true, false, platform::Account::other, {}};
  resetRunHoldsGuard();
  writeRunRecord(record(), false);
  EXPECT_EQ(readFileBytes("state/last-run.json"), "planted");
  EXPECT_TRUE(fake().foldersRenamed.empty());
  claimFirmwareAccess();
  writeRunRecord(record(), false);
  ASSERT_EQ(fake().foldersRenamed.size(), 1u);
  std::string aside = fake().foldersRenamed[0].substr(std::string("state -> ").size());
  EXPECT_EQ(aside.substr(0, 17), "state.untrusted-2") << aside;
  EXPECT_EQ(aside.size(), std::string("state.untrusted-20261208T231000Z-abcdefgh").size());
  EXPECT_EQ(readFileBytes(aside + "/last-run.json"), "planted");
  EXPECT_EQ(readFileBytes("state/last-run.json"), runRecordJson(record()));
}

TEST_F(RunRecordStoreTest, AnUnsoundVendorFolderIsNeverRenamed) {
  fake().stateVendor = "vendor";
  fake().stateFolder = "vendor\\state";
  fake().folderFacts["vendor"] = {true, true, false, platform::Account::unreadable, {}};
  claimFirmwareAccess();
  writeRunRecord(record(), false);
  EXPECT_TRUE(fake().foldersRenamed.empty());
  EXPECT_FALSE(fs::exists("vendor/state"));
  EXPECT_EQ(runLogText(),
            "The run record was not written: vendor has an owner that cannot be read\n");
}

}  // namespace
