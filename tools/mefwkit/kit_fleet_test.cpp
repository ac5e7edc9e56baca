#include "mefwkit/kit_fleet.h"

#include <nlohmann/json.hpp>

#include "app/installer.h"
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

  FleetPlan plan(const Fleet& fleet) {
    return planFleet(fleet, "", installer.firmwareUpdater(), false);
  }

  Fleet csv(const std::string& text) {
    Fleet fleet;
    readFleetCsv(text, "fleet.csv", fleet);
    return fleet;
  }

  static std::string record(const std::string& bios, const std::string& installed,
                            const std::string& stamped, bool completed) {
    return R"({"schema": 1, "state": "finished", "bios": {"text": ")" + bios +
           R"(", "source": "wmic"}, "firmware": {"installed": ")" + installed +
           R"(", "kitbox": "11.8.55.3510", "stamped": ")" + stamped +
           R"("}, "flash": {"started": true, "completed": )" + (completed ? "true" : "false") +
           "}}";
  }

  static void writeRecord(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    writeFileBytes(path, text);
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
  ASSERT_EQ(result.outcomes.size(), 1000u);
  EXPECT_EQ(result.outcomes[6].name, "PC-6");
  EXPECT_EQ(result.outcomes[6].exitCode, 2010);
  EXPECT_TRUE(result.unreadable.empty());
  std::string text2 = fleetText(result);
  EXPECT_NE(text2.find("PC-6: 2010 2010s\n"), std::string::npos);
  EXPECT_NE(text2.find("PC-5: 0\n"), std::string::npos);
  EXPECT_NE(text2.find("exit code 3001: 200 machines\n"), std::string::npos);
}

TEST_F(KitFleetTest, QuotingFollowsRfc4180AndBadRowsAreCountedApart) {
  Fleet fleet =
      csv("name,bios,me\n"
          "\"Lab, room 2\",\"N01 Ver. 1.05.0\",11.8.50.3399\n"  // 2
          "\"say \"\"hi\"\"\",N01 Ver. 1.05.0,11.8.50.3399\n"   // 3
          "\"two\nlines\",N01 Ver. 1.05.0,11.8.50.3399\n"       // 4-5
          "\n"                                                  // 6: blank, skipped
          "short,N01 Ver. 1.05.0\n"                             // 7: too few fields
          "bad\"quote,N01 Ver. 1.05.0,11.8.50.3399\n"           // 8
          "\"closed\"x,N01 Ver. 1.05.0,11.8.50.3399\n"          // 9
          "nobios,,11.8.50.3399\n"                              // 10
          "last,Q22 Ver. 1.0,11.8.50.3399\n"                    // 11
          "\"open,N01 Ver. 1.05.0,11.8.50.3399\n");             // 12: never closed
  std::vector<std::string> names;
  for (const FleetMachine& machine : fleet.machines) {
    names.push_back(machine.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Lab, room 2", "say \"hi\"", "two\nlines", "last"}));
  std::vector<std::string> where;
  for (const FleetProblem& problem : fleet.unreadable) {
    where.push_back(problem.where + " " + problem.why);
  }
  EXPECT_EQ(where, (std::vector<std::string>{"fleet.csv:7 has 2 fields, too few for the column me",
                                             "fleet.csv:8 a quote inside an unquoted field",
                                             "fleet.csv:9 text after a closing quote",
                                             "fleet.csv:10 no bios",
                                             "fleet.csv:12 a quote that is never closed"}));
  FleetPlan result = plan(fleet);
  EXPECT_EQ(result.counts, (std::map<int, int>{{0, 3}, {2010, 1}}));
  EXPECT_EQ(result.unreadable.size(), 5u);
}

TEST_F(KitFleetTest, AHeaderWithoutTheColumnsReadsNoMachine) {
  Fleet fleet = csv("name,bios\nPC-1,N01 Ver. 1.05.0\n");
  EXPECT_TRUE(fleet.machines.empty());
  ASSERT_EQ(fleet.unreadable.size(), 1u);
  EXPECT_EQ(fleet.unreadable[0].where, "fleet.csv:1");
}

TEST_F(KitFleetTest, AFolderOfCollectedRecords) {
  // Flashed: the stamped version is what the machine has now (3001); not flashed: the
  // installed one (0).
  writeRecord("fleet/pc-1/last-run.json",
              record("N01 Ver. 1.05.2  ", "11.8.50.3399", "11.8.55.3510", true));
  writeRecord("fleet/pc-2/result.json",
              record("N01 Ver. 1.05.2", "11.8.50.3399", "11.8.50.3399", false));
  writeRecord("fleet/site/pc-3/last-run.json",
              record("Q22 Ver. 1.0", "11.8.50.3399", "11.8.50.3399", false));
  writeRecord("fleet/pc-4/last-run.json", "{\"schema\": 1, \"bios\": ");
  writeRecord("fleet/pc-5/last-run.json", "{\"schema\": 2}");
  writeRecord("fleet/pc-6/last-run.json", R"({"schema": 1, "bios": null})");
  writeRecord("fleet/pc-7/notes.json", "{}");
  Fleet fleet;
  ASSERT_TRUE(readFleet("fleet", fleet));
  FleetPlan result = plan(fleet);
  std::vector<std::string> outcomes;
  for (const FleetOutcome& outcome : result.outcomes) {
    outcomes.push_back(outcome.name + " " + std::to_string(outcome.exitCode));
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{"pc-1 3001", "pc-2 0", "pc-3 2010"}));
  std::vector<std::string> why;
  for (const FleetProblem& problem : result.unreadable) {
    why.push_back(problem.where + ": " + problem.why);
  }
  EXPECT_EQ(why, (std::vector<std::string>{"fleet/pc-4/last-run.json: not JSON",
                                           "fleet/pc-5/last-run.json: not a run record of schema 1",
                                           "fleet/pc-6/last-run.json: no BIOS version"}));
  Fleet none;
  EXPECT_FALSE(readFleet("missing.csv", none));
}

TEST_F(KitFleetTest, JsonHasTheCountsAndTheUnreadable) {
  Fleet fleet = csv("name,bios,me\nPC-\xe9,N01 Ver. 1.05.0,11.8.50.3399\nx,\"\n");
  Json value = Json::parse(fleetJson(plan(fleet)));
  EXPECT_EQ(value["schema"], 1);
  EXPECT_EQ(value["toolVersion"], "1.5.1");
  EXPECT_EQ(value["machines"], Json::parse(R"([{"name": "PC-\u00e9", "exitCode": 0,
                                                  "message": null}])"));
  EXPECT_EQ(value["counts"], Json::parse(R"({"0": 1})"));
  EXPECT_EQ(value["unreadable"][0]["where"], "fleet.csv:3");
}

TEST_F(KitFleetTest, ExpectedCodesGateTheFleet) {
  EXPECT_EQ(parseExpectedCodes("0,3001"), (std::vector<int>{0, 3001}));
  EXPECT_EQ(parseExpectedCodes("0"), (std::vector<int>{0}));
  for (const char* bad : {"", "0,", ",0", "0;3001", "-1", "x", "12345678901"}) {
    EXPECT_FALSE(parseExpectedCodes(bad)) << bad;
  }
  FleetPlan result =
      plan(csv("name,bios,me\na,N01 Ver. 1.05.0,11.8.55.3510\n"
               "b,Q22 Ver. 1.0,11.8.50.3399\n"));
  EXPECT_TRUE(fleetMeetsExpectation(result, {0, 3001, 2010}));
  EXPECT_FALSE(fleetMeetsExpectation(result, {0, 3001}));
}

}  // namespace
