#include "mefwkit/kit_fleet.h"

#include <nlohmann/json.hpp>

#include "app/error_catalogue.h"
#include "app/installer.h"
#include "mefwkit/kit_exit_meanings.h"
#include "mefwkit/kit_fleet_record.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using Json = nlohmann::ordered_json;

class KitFleetTest : public UnitTest {
 protected:
  void SetUp() override {
    UnitTest::SetUp();
    writeFileBytes("input.txt",
                   "meFirmwareFile = 11.8.55.3510.bin\n"
                   "supportedPlatforms = aster, birch\n"
                   "prereqBios = 1.04.0\n");
    fs::create_directories("ME_Flash/Local-Win");
    writeFileBytes("ME_Flash/Local-Win/FwUpdLcl64.exe", "tool");
    writeFileBytes("ME_Flash/11.8.55.3510.bin", "image");
  }

  FleetPlan plan(Fleet fleet, const PlanOptions& options = {}) {
    KitboxFacts kitbox = readKitbox("", options);
    return planFleet(std::move(fleet), kitbox, installer.firmwareUpdater(), false,
                     !options.checkSignature);
  }

  static Fleet csv(const std::string& text, std::size_t block = 64 * 1024) {
    Fleet fleet;
    readFleetCsvText(text, "fleet.csv", fleet, block);
    return fleet;
  }

  // A record as the installer writes it, of a run that found both versions.
  static Json record(const std::string& bios, const std::string& installed,
                     const std::string& stamped = "", bool completed = false) {
    return Json::parse(R"({"schema": 1, "computerName": null, "state": "finished",
        "started": "2026-12-08T23:10:00Z", "ended": "2026-12-08T23:11:02Z", "exitCode": 0,
        "message": null, "bios": {"text": ")" +
                       bios + R"(", "source": "wmic"},
        "firmware": {"installed": ")" +
                       installed + R"(", "kitbox": "11.8.55.3510",
        "stamped": )" + (stamped.empty() ? "null" : "\"" + stamped + "\"") +
                       R"(},
        "flash": {"started": true, "completed": )" +
                       (completed ? "true" : "false") + "}}");
  }

  // A refused run's record: no BIOS, no firmware.
  static Json refused(const std::string& code, int exitCode) {
    Json run = record("x", "x");
    run["bios"] = nullptr;
    run["firmware"]["installed"] = nullptr;
    run["exitCode"] = exitCode;
    run["message"] = {{"code", code}, {"text", "ERROR " + code + ": refused"}};
    return run;
  }

  static void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    writeFileBytes(path, text);
  }

  static void writeRecord(const std::string& path, const Json& value) {
    writeText(path, value.dump());
  }

  static std::vector<std::string> names(const FleetPlan& result) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < result.machines.size(); ++i) {
      const SharedPlan& shared = result.plans[result.planOf[i]];
      list.push_back(result.machines[i].name + " " +
                     (shared.needsInstalledVersion ? "needs" : std::to_string(shared.exitCode)));
    }
    return list;
  }

  static std::vector<std::string> problems(const std::vector<FleetProblem>& unreadable) {
    std::vector<std::string> list;
    for (const FleetProblem& problem : unreadable) {
      list.push_back(problem.where + ": " + problem.why);
    }
    return list;
  }

  Installer installer;
};

// Five kinds of machine, 200 of each: counted by hand, one exit code per kind.
TEST_F(KitFleetTest, ACsvOfAThousandMachines) {
  const char* const kinds[5][2] = {{"N01 Ver. 1.05.0", "11.8.50.3399"},   // 0: updated
                                   {"Q22 Ver. 1.0", "11.8.50.3399"},      // 2010: no profile
                                   {"N01 Ver. 1.03.0", "11.8.50.3399"},   // 2011: old BIOS
                                   {"N01 Ver. 1.05.0", "11.8.60.1000"},   // 3000: newer
                                   {"N01 Ver. 1.05.0", "11.8.55.3510"}};  // 3001: same
  std::string text = "site,name,me,bios\r\n";
  for (int i = 0; i < 1000; ++i) {
    text +=
        "lab,PC-" + std::to_string(i) + "," + kinds[i % 5][1] + ",\"" + kinds[i % 5][0] + "\"\r\n";
  }
  FleetPlan result = plan(csv(text));
  EXPECT_EQ(result.counts,
            (std::map<int, int>{{0, 200}, {2010, 200}, {2011, 200}, {3000, 200}, {3001, 200}}));
  ASSERT_EQ(result.machines.size(), 1000u);
  EXPECT_EQ(names(result)[6], "PC-6 2010");
  EXPECT_EQ(result.plans.size(), 5u);
  EXPECT_TRUE(result.unreadable.empty());
  std::string shown = fleetText(result);
  EXPECT_NE(shown.find("Exit code 2010, 200 machines:\n  PC-1: Q22 Ver. 1.0, 11.8.50.3399\n"),
            std::string::npos);
  EXPECT_NE(shown.find("exit code 3001: 200 machines: the Kitbox's firmware is already "
                       "installed: nothing to do\n"),
            std::string::npos);
  EXPECT_NE(shown.find("\n1000 machines planned, 0 need the installed version, 0 unreadable.\n"),
            std::string::npos);
}

TEST_F(KitFleetTest, QuotingFollowsRfc4180AndBadRowsAreCountedApart) {
  std::string text =
      "name,bios,me\n"
      "\"Lab, room 2\",\"N01 Ver. 1.05.0\",11.8.50.3399\n"  // 2
      "\"say \"\"hi\"\"\",N01 Ver. 1.05.0,11.8.50.3399\n"   // 3
      "\"two\nlines\",N01 Ver. 1.05.0,11.8.50.3399\n"       // 4-5
      "\n"                                                  // 6: blank, skipped
      "short,N01 Ver. 1.05.0\n"                             // 7: too few fields
      "bad\"quote,N01 Ver. 1.05.0,11.8.50.3399\n"           // 8
      "\"closed\"x,N01 Ver. 1.05.0,11.8.50.3399\n"          // 9
      "nobios,,11.8.50.3399\n"                              // 10
      "last,Q22 Ver. 1.0,11.8.50.3399\r\n"                  // 11
      "\"open,N01 Ver. 1.05.0,11.8.50.3399\n";              // 12: never closed
  Fleet fleet = csv(text);
  std::vector<std::string> read;
  for (const FleetMachine& machine : fleet.machines) {
    read.push_back(machine.name);
  }
  EXPECT_EQ(read, (std::vector<std::string>{"Lab, room 2", "say \"hi\"", "two\nlines", "last"}));
  EXPECT_EQ(
      problems(fleet.unreadable),
      (std::vector<std::string>{"fleet.csv:7: has 2 fields, too few for the column me",
                                "fleet.csv:8: a quote inside an unquoted field",
                                "fleet.csv:9: text after a closing quote", "fleet.csv:10: no bios",
                                "fleet.csv:12: a quote that is never closed"}));
  // Rows are read as the file comes, a block at a time: where the blocks end changes nothing.
  for (std::size_t block : {1, 2, 3, 7}) {
    Fleet again = csv(text, block);
    EXPECT_EQ(again.machines.size(), 4u) << block;
    EXPECT_EQ(problems(again.unreadable), problems(fleet.unreadable)) << block;
  }
}

std::string utf16(const std::string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) {
    bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return bytes;
}

// Excel's "CSV UTF-8", PowerShell's Export-Csv and Out-File, and regional list separators.
TEST_F(KitFleetTest, CsvAsWindowsWritesIt) {
  const std::string rows = "pc-1,N01 Ver. 1.05.0,11.8.50.3399\r\n";
  for (const std::string& text :
       {"\xEF\xBB\xBFname,bios,me\r\n" + rows, " Name ,BIOS,\tME\r\n" + rows,
        "#TYPE System.Management.Automation.PSCustomObject\r\n\"Name\",\"Bios\",\"Me\"\r\n" + rows,
        utf16("name,bios,me\r\n" + rows, false), utf16("name,bios,me\r\n" + rows, true)}) {
    Fleet fleet = csv(text, 3);
    ASSERT_EQ(fleet.machines.size(), 1u) << text;
    EXPECT_EQ(fleet.machines[0].name, "pc-1");
    EXPECT_EQ(fleet.machines[0].installedVersion, "11.8.50.3399");
    EXPECT_TRUE(fleet.unreadable.empty()) << problems(fleet.unreadable)[0];
  }
  // UTF-16 carries any character; it arrives as UTF-8.
  Fleet accented = csv(utf16("name,bios,me\n", false) + std::string("p\0\xe9\0\n\0", 6));
  EXPECT_EQ(problems(accented.unreadable),
            (std::vector<std::string>{"fleet.csv:2: has 1 fields, too few for the column bios"}));
  Fleet semicolons = csv("name;bios;me\npc-1;N01 Ver. 1.05.0;11.8.50.3399\n");
  EXPECT_EQ(problems(semicolons.unreadable),
            (std::vector<std::string>{"fleet.csv:1: the header row needs the columns name, bios "
                                      "and me; it is separated by semicolons: save as "
                                      "comma-separated"}));
  for (const std::string& text :
       {std::string("n\0a\0m\0e\0,\0", 10), std::string("\xFF\xFE\0\0n\0\0\0", 8)}) {
    Fleet unknown = csv(text);
    ASSERT_EQ(unknown.unreadable.size(), 1u);
    EXPECT_EQ(unknown.unreadable[0].why,
              "the file's encoding cannot be read: save it as UTF-8 (with or without a "
              "byte-order mark), as UTF-16 LE or BE with a byte-order mark, or in the ANSI code "
              "page");
  }
}

// A row is bounded, so a file of any size costs one row of memory; the rows after a bad one
// are read.
TEST_F(KitFleetTest, RowsOverTheLimitsAreUnreadable) {
  std::string text = "name,bios,me\n" + std::string(1 << 20, ',') + "\n" + "wide" +
                     std::string(300, ',') + "\n" + "long," + std::string(longestCsvRow, 'x') +
                     ",1.0.0.1\n" + "pc-1,N01 Ver. 1.05.0,11.8.50.3399\n";
  Fleet fleet = csv(text);
  EXPECT_EQ(problems(fleet.unreadable),
            (std::vector<std::string>{"fleet.csv:2: a row longer than 64 KiB",
                                      "fleet.csv:3: more than 256 fields",
                                      "fleet.csv:4: a row longer than 64 KiB"}));
  ASSERT_EQ(fleet.machines.size(), 1u);
  EXPECT_EQ(fleet.machines[0].name, "pc-1");
}

TEST_F(KitFleetTest, AHeaderWithoutTheColumnsReadsNoMachine) {
  Fleet fleet = csv("name,bios\nPC-1,N01 Ver. 1.05.0\n");
  EXPECT_TRUE(fleet.machines.empty());
  EXPECT_EQ(problems(fleet.unreadable),
            (std::vector<std::string>{"fleet.csv:1: the header row needs the columns name, bios "
                                      "and me"}));
  EXPECT_EQ(csv("").unreadable.size(), 1u);
}

TEST_F(KitFleetTest, AFolderOfCollectedRecords) {
  // Flashed: the stamped version is what the machine has now (3001); not flashed: the
  // installed one (0).
  writeRecord("fleet/pc-1/last-run.json",
              record("N01 Ver. 1.05.2  ", "11.8.50.3399", "11.8.55.3510", true));
  writeRecord("fleet/pc-2/result.json", record("N01 Ver. 1.05.2", "11.8.50.3399", "", false));
  writeRecord("fleet/site/pc-3/last-run.json", record("Q22 Ver. 1.0", "11.8.50.3399"));
  writeText("fleet/site/pc-3/notes.json", "{");
  writeText("fleet/pc-4/last-run.json", "{\"schema\": 1, \"bios\": ");
  writeText("fleet/pc-5/last-run.json", "{\"schema\": 2}");
  writeText("fleet/pc-6/last-run.json", R"({"schema": 1, "bios": null})");
  writeText("fleet/pc-7/last-run.json", R"({"schema": 1, "exitCode": 1, "exitCode": 0})");
  writeText("fleet/pc-8/last-run.json", std::string(largestRecordFile + 1, ' '));
  Fleet fleet;
  ASSERT_EQ(readFleet("fleet", fleet), "");
  FleetPlan result = plan(std::move(fleet));
  EXPECT_EQ(names(result), (std::vector<std::string>{"pc-1 3001", "pc-2 0", "pc-3 2010"}));
  EXPECT_EQ(problems(result.unreadable),
            (std::vector<std::string>{
                "fleet/pc-4/last-run.json: not JSON",
                "fleet/pc-5/last-run.json: not a run record of schema 1",
                "fleet/pc-6: no BIOS version in any record",
                "fleet/pc-7/last-run.json: the key \"exitCode\" twice",
                "fleet/pc-8/last-run.json: too large: 8388609 bytes, more than 8 MiB"}));
  Fleet none;
  EXPECT_EQ(readFleet("missing.csv", none), "cannot be read");
}

// A collected state folder is one machine, whatever its runs\ hold; a refused run does not
// make it unreadable when an earlier record holds its versions.
TEST_F(KitFleetTest, EachStateFolderIsOneMachine) {
  for (const char* machine : {"pc-1", "pc-2", "pc-3"}) {
    std::string folder = std::string("states/") + machine;
    for (int run = 10; run < 31; ++run) {
      writeRecord(folder + "/runs/20261208T2310" + std::to_string(run) + "Z-4242/result.json",
                  record("N01 Ver. 1.0" + std::to_string(run % 10), "11.8.50.3399"));
    }
    writeRecord(folder + "/last-run.json", record("N01 Ver. 1.05.0", "11.8.50.3399"));
  }
  // pc-2's last run was refused before it read anything: the newest run folder has both.
  writeRecord("states/pc-2/last-run.json", refused("2015s", 2015));
  Json computer = record("N01 Ver. 1.05.0", "11.8.50.3399");
  computer["computerName"] = "PC-3";
  writeRecord("states/pc-3/last-run.json", computer);
  fake().filesOpened.clear();
  Fleet fleet;
  readFleet("states", fleet);
  FleetPlan result = plan(std::move(fleet));
  // pc-2 takes N01 Ver. 1.00 from its newest run (30, ends in 0): below the prerequisite.
  ASSERT_EQ(names(result), (std::vector<std::string>{"pc-1 0", "pc-2 2011", "pc-3 0"}));
  EXPECT_EQ(result.machines[1].last->code, "2015s");
  EXPECT_EQ(result.machines[2].computerName, "PC-3");
  EXPECT_TRUE(result.unreadable.empty());
  // Only the records that were needed were read: three last-run.json and one run's record.
  std::size_t records = 0;
  for (const std::string& path : fake().filesOpened) {
    records += path.find(".json") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(records, 4u);
}

// Records of runs that ended before the version query still hold the BIOS, which decides
// 2010, 2011 and 2012; a run that got further needs the installed version.
TEST_F(KitFleetTest, MachinesWithABiosAreAlwaysPlanned) {
  Json run = record("N01 Ver. 1.05.0", "");
  run["firmware"]["installed"] = nullptr;
  writeRecord("fleet/pc-1/last-run.json", run);
  run["bios"]["text"] = "Q22 1.0";
  writeRecord("fleet/pc-2/last-run.json", run);
  Fleet fleet;
  readFleet("fleet", fleet);
  FleetPlan result = plan(std::move(fleet));
  EXPECT_EQ(names(result), (std::vector<std::string>{"pc-1 needs", "pc-2 2010"}));
  EXPECT_EQ(result.needInstalledVersion, std::vector<std::size_t>{0});
  Json value = Json::parse(fleetJson(result));
  EXPECT_EQ(value["needsInstalledVersion"], Json::parse(R"(["pc-1"])"));
  EXPECT_EQ(value["machines"][0]["exitCode"], nullptr);
  EXPECT_EQ(value["machines"][0]["needs"], "installedVersion");
  EXPECT_EQ(value["machines"][1]["needs"], nullptr);
}

TEST_F(KitFleetTest, WhatTheLastRunsSaidIsListedApart) {
  Json flashing = record("N01 Ver. 1.05.0", "11.8.50.3399");
  flashing["state"] = "flashing";
  writeRecord("fleet/pc-1/last-run.json", flashing);
  writeRecord("fleet/pc-1/last-flash.json", flashing);
  Json stamped = record("N01 Ver. 1.05.0", "11.8.50.3399", "11.8.50.3399", true);
  stamped["exitCode"] = 2014;
  stamped["message"] = {{"code", "2014s"}, {"text", "ERROR 2014s: ..."}};
  writeRecord("fleet/pc-2/last-run.json", stamped);
  // Only a scan, newer than any run, which says a restart is pending.
  Json scan = record("N01 Ver. 1.05.0", "11.8.55.3510");
  scan["mode"] = "scan";
  scan["restartPending"] = true;
  writeRecord("fleet/pc-3/last-scan.json", scan);
  Fleet fleet =
      csv("name,bios,me,exit,code,lastFlash,ended\n"
          "pc-4,N01 Ver. 1.05.0,11.8.55.3510,3002,3002n,finished,2026-12-08T23:11:02Z\n"
          "pc-5,N01 Ver. 1.05.0,11.8.55.3510,0,,none,\n");
  readFleet("fleet", fleet);
  FleetPlan result = plan(std::move(fleet));
  std::vector<std::string> attention;
  for (const Attention& item : result.attention) {
    attention.push_back(result.machines[item.machine].name + ": " + item.why);
  }
  EXPECT_EQ(attention,
            (std::vector<std::string>{
                "pc-4: the last run found an update waiting for a restart (3002n)",
                "pc-1: the last flash never finished: the installer was ended, or the machine "
                "lost power, during the flash",
                "pc-2: the last run flashed, but MeFwVer.sys was not written with the new "
                "version (2014s)",
                "pc-3: a restart is pending"}));
  // They are planned all the same.
  EXPECT_EQ(names(result),
            (std::vector<std::string>{"pc-4 3001", "pc-5 3001", "pc-1 0", "pc-2 0", "pc-3 3001"}));
  Json value = Json::parse(fleetJson(result));
  EXPECT_EQ(value["machines"][0]["last"], Json::parse(R"({"state": null, "exitCode": 3002,
      "code": "3002n", "time": "2026-12-08T23:11:02Z"})"));
  EXPECT_EQ(value["machines"][4]["last"], nullptr);
  EXPECT_EQ(value["machines"][4]["lastScan"]["time"], "2026-12-08T23:11:02Z");
  EXPECT_EQ(value["needsAttention"].size(), 4u);
  EXPECT_NE(fleetText(result).find("Needs attention, 4 machines (planned all the same):\n"),
            std::string::npos);
}

TEST_F(KitFleetTest, JsonHoldsWhatARolloutNeeds) {
  writeFileBytes("input.txt",
                 "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                 "prereqBios = 01.08\n");
  Fleet fleet = csv("name,bios,me\nPC-\xe9,N01 Ver. 01.07.05,11.8.50.3399\nx,\"\n");
  Json value = Json::parse(fleetJson(plan(std::move(fleet)), std::vector<std::string>{}));
  EXPECT_EQ(value["schema"], 1);
  EXPECT_EQ(value["toolVersion"], "1.5.1");
  EXPECT_EQ(value["machines"], Json::parse(R"([{"name": "PC-\u00e9", "computerName": null,
      "bios": "N01 Ver. 01.07.05", "me": "11.8.50.3399", "biosFamily": "n01", "profile": 0,
      "exitCode": 0, "message": null, "needs": null, "last": null, "lastFlash": null,
      "lastScan": null}])"));
  EXPECT_EQ(value["counts"], Json::parse(R"({"0": 1})"));
  // 01.08 against 01.07.05: 108 against 10705, so the older BIOS passes.
  EXPECT_EQ(value["joinedDigits"], Json::parse(R"([{"name": "PC-\u00e9", "bios":
      "N01 Ver. 01.07.05", "prereqBios": "01.08", "biosNumber": 10705, "prereqNumber": 108}])"));
  EXPECT_EQ(value["unreadable"][0]["where"], "fleet.csv:3");
  EXPECT_EQ(value["signature"], "checked");
  EXPECT_EQ(value["gate"], Json::parse(R"({"passed": true, "failures": []})"));
}

// Each case fails the gate for the reason it names, and passes once that reason is gone.
TEST_F(KitFleetTest, TheGateFailsClosed) {
  const std::string header = "name,bios,me\n";
  const std::string good = "a,N01 Ver. 1.05.0,11.8.50.3399\n";
  auto gate = [&](const std::string& rows, int allowed = 0, PlanOptions options = {}) {
    return gateFailures(plan(csv(header + rows), options), {{0}, allowed});
  };
  EXPECT_EQ(gate(good), std::vector<std::string>{});
  EXPECT_EQ(
      gate(good + "b,Q22 Ver. 1.0,11.8.50.3399\n"),
      std::vector<std::string>{"1 machine would end with a code outside 0: 2010 (1 machine)"});
  std::vector<std::string> unreadable{
      "1 unreadable and 0 machines needing the installed version, more than --allow-unreadable "
      "admits (0)"};
  EXPECT_EQ(gate(good + "\"open\n"), unreadable);
  EXPECT_EQ(gate(good + "\"open\n", 1), std::vector<std::string>{});
  EXPECT_EQ(gate(good + "c,N01 Ver. 1.05.0,\n").size(), 1u);
  EXPECT_EQ(gate(good + "c,N01 Ver. 1.05.0,\n", 1), std::vector<std::string>{});
  EXPECT_EQ(gate(""), std::vector<std::string>{"no machine was planned"});
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {
      platform::SignatureState::notSupported, "", ""};
  EXPECT_EQ(gate(good), std::vector<std::string>{
                            "this build cannot check the signature of Intel's tool: gate with the "
                            "Windows mefwkit, or give --no-signature-check"});
  EXPECT_EQ(gate(good, 0, {false, false}), std::vector<std::string>{});
  // A tool signed by another company ends every run that reaches it with 2018.
  fake().signatures["ME_Flash\\Local-Win\\FwUpdLcl64.exe"] = {platform::SignatureState::valid,
                                                              "Other Tools Corporation", ""};
  EXPECT_EQ(gate(good), std::vector<std::string>{
                            "1 machine would end with a code outside 0: 2018 (1 machine)"});
}

// The Kitbox is read once per plan: its files, its images and the tool's signature cost the
// same for three machines as for three hundred.
TEST_F(KitFleetTest, TheKitboxIsReadOncePerPlan) {
  auto opensFor = [&](int machines) {
    std::string rows = "name,bios,me\n";
    for (int i = 0; i < machines; ++i) {
      rows += "pc-" + std::to_string(i) + ",N01 Ver. 1.05." + std::to_string(i) + ",11.8." +
              std::to_string(i) + ".1\n";
    }
    Fleet fleet = csv(rows);
    fake().filesOpened.clear();
    fake().signatureChecks.clear();
    FleetPlan result = plan(std::move(fleet));
    EXPECT_EQ(result.plans.size(), static_cast<std::size_t>(machines));
    return std::make_pair(fake().filesOpened, fake().signatureChecks.size());
  };
  auto few = opensFor(3);
  // Each twice, as the installer looks for a file before it reads or copies it.
  EXPECT_EQ(few.first, (std::vector<std::string>{
                           "input.txt", "input.txt", "ME_Flash\\Local-Win\\FwUpdLcl64.exe",
                           "ME_Flash\\Local-Win\\FwUpdLcl64.exe", "ME_Flash\\11.8.55.3510.bin",
                           "ME_Flash\\11.8.55.3510.bin"}));
  EXPECT_EQ(few.second, 1u);
  EXPECT_EQ(opensFor(300), few);
}

// The fleet shares each half of a plan among the machines that share it; every machine must
// still end as a plan of its own would.
TEST_F(KitFleetTest, SharedHalvesPlanAsTheWholePlanDoes) {
  writeFileBytes("input.txt",
                 "meFirmwareFile = 11.8.55.3510.bin\nsupportedPlatforms = aster\n"
                 "prereqBios = 1.04.0\nmeFirmwareFile = 12.0.20.1310.bin\n"
                 "supportedPlatforms = fjord\n");
  Fleet fleet;
  for (const char* bios : {"N01 Ver. 1.05.0", "N01 Ver. 1.03.0", "N01", "P10 Ver. 2.0", "Q22 1.0",
                           "P10 Ver. 2.0 A01", "none"}) {
    for (const char* me :
         {"11.8.50.3399", "11.8.55.3510", "12.0.20.1310", "13.0.0.1", "12.0", "v1.2", ""}) {
      FleetMachine machine;
      machine.name = std::string(bios) + "/" + me;
      machine.biosText = bios;
      if (*me != '\0') machine.installedVersion = me;
      fleet.machines.push_back(machine);
    }
  }
  FleetPlan result = plan(fleet);
  KitboxFacts kitbox = readKitbox("", {});
  std::set<int> outcomes;
  for (std::size_t i = 0; i < result.machines.size(); ++i) {
    const FleetMachine& machine = result.machines[i];
    KitPlan whole = planMachine(kitbox, {machine.biosText, machine.installedVersion, false},
                                installer.firmwareUpdater());
    const SharedPlan& shared = result.plans[result.planOf[i]];
    EXPECT_EQ((std::tuple{shared.needsInstalledVersion, shared.exitCode, shared.message,
                          shared.profileIndex}),
              (std::tuple{whole.needsInstalledVersion, whole.exitCode, whole.message,
                          whole.profileIndex}))
        << machine.name;
    outcomes.insert(whole.needsInstalledVersion ? -1 : whole.exitCode);
  }
  EXPECT_EQ(outcomes, (std::set<int>{-1, 0, 1002, 1015, 1018, 2000, 2010, 2011, 2012, 3000, 3001}));
}

TEST_F(KitFleetTest, TextsFromTheMachinesAreShownEscaped) {
  EXPECT_EQ(shownText("pc-1\x1b[31m\r\n\t\x7f\xc2\x9b"
                      "2J \xc3\xa9"),
            "pc-1\\x1b[31m\\r\\n\\t\\x7f\\u009b2J \xc3\xa9");
  Fleet fleet = csv("name,bios,me\n\"pc\x1b]0;x\x07\",N01 Ver. 1.05.0,11.8.50.3399\n");
  std::string shown = fleetText(plan(std::move(fleet)));
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_NE(shown.find("pc\\x1b]0;x\\x07: N01"), std::string::npos);
}

// A collected folder is named after its machine, and an unreadable one is listed by that name.
TEST_F(KitFleetTest, AnUnreadableMachineIsListedEscaped) {
  std::error_code refused;
  fs::create_directories("fleet/pc\x1b[2J", refused);
  if (refused) GTEST_SKIP() << "this system's file names cannot hold control characters";
  writeText("fleet/pc\x1b[2J/last-run.json", "{");
  Fleet fleet;
  ASSERT_EQ(readFleet("fleet", fleet), "");
  std::string shown = fleetText(plan(std::move(fleet)));
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_NE(shown.find("unreadable: fleet/pc\\x1b[2J/last-run.json: not JSON"), std::string::npos);
}

// Every code the installer can end with gets its meaning in the summary, also a code that
// joins the catalogue later.
TEST_F(KitFleetTest, EveryExitCodeHasAMeaning) {
  ErrorCatalogue codes = startErrorCatalogue();
  ErrorCatalogue runTime = runTimeErrorCodes();
  codes.insert(runTime.begin(), runTime.end());
  for (const auto& entry : codes) {
    EXPECT_TRUE(hasExitCodeMeaning(std::stoi(entry.first.substr(0, 4)))) << entry.first;
  }
  for (int code : {0, 1, 100, 4000, 4001}) {
    EXPECT_TRUE(hasExitCodeMeaning(code)) << code;
  }
  EXPECT_EQ(exitCodeMeaning(9999), "see the exit-code reference");
}

TEST_F(KitFleetTest, ExpectedCodesAreAList) {
  EXPECT_EQ(parseExpectedCodes("0,3001"), (std::vector<int>{0, 3001}));
  EXPECT_EQ(parseExpectedCodes("0"), (std::vector<int>{0}));
  for (const char* bad : {"", "0,", ",0", "0;3001", "-1", "x", "12345678901"}) {
    EXPECT_FALSE(parseExpectedCodes(bad)) << bad;
  }
}

}  // namespace
