#include "app/restart_pending.h"

#include "app/run_record.h"
#include "test_support.h"

namespace {

const std::time_t boot = 1796771400;  // 2026-12-08T23:10:00Z

// A finished run that flashed 11.8.55.3510 and ended as given.
std::string lastFlash(const std::string& ended, const std::string& completed = "true",
                      const std::string& state = "finished") {
  return R"({"schema": 1, "state": ")" + state + R"(", "ended": ")" + ended +
         R"(", "firmware": {"installed": "11.8.50.3399", "kitbox": "11.8.55.3510"},)" +
         R"( "flash": {"started": true, "completed": )" + completed + "}}";
}

TEST(RestartPendingTest, AFlashCompletedSinceTheStartWaitsWhileTheOldVersionRuns) {
  std::optional<PendingRestart> pending =
      pendingRestartFrom(lastFlash("2026-12-08T23:10:01Z"), boot, "11.8.50.3399");
  ASSERT_TRUE(pending);
  EXPECT_EQ(pending->version, "11.8.55.3510");
  EXPECT_EQ(pending->installedAt, "2026-12-08T23:10:01Z");
}

TEST(RestartPendingTest, NothingWaitsOnceTheMachineRestartedOrTheNewVersionRuns) {
  // Ended before the machine started, or at that very second.
  EXPECT_FALSE(pendingRestartFrom(lastFlash("2026-12-08T23:09:59Z"), boot, "11.8.50.3399"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash("2026-12-08T23:10:00Z"), boot, "11.8.50.3399"));
  // The flashed version (or a newer one) runs.
  EXPECT_FALSE(pendingRestartFrom(lastFlash("2026-12-08T23:10:01Z"), boot, "11.8.55.3510"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash("2026-12-08T23:10:01Z"), boot, "12.0.0.1"));
}

TEST(RestartPendingTest, ARunThatFoundTheRestartPendingPassesItOn) {
  // Its own flash was refused (8703) and is not completed; its stamp kept the waiting firmware.
  std::string refused = R"({"schema": 1, "state": "finished", "ended": "2026-12-08T23:20:00Z",)"
                        R"( "firmware": {"installed": "11.8.50.3399", "kitbox": "12.0.1.1",)"
                        R"( "stamped": "11.8.55.3510"}, "flash": {"started": true,)"
                        R"( "completed": false}, "restartPending": true})";
  std::optional<PendingRestart> pending = pendingRestartFrom(refused, boot, "11.8.50.3399");
  ASSERT_TRUE(pending);
  EXPECT_EQ(pending->version, "11.8.55.3510");
  EXPECT_EQ(pending->installedAt, "2026-12-08T23:20:00Z");
  std::string notPending = refused;
  notPending.replace(notPending.find("\"restartPending\": true"), 22, "\"restartPending\": false");
  EXPECT_FALSE(pendingRestartFrom(notPending, boot, "11.8.50.3399"));
}

TEST(RestartPendingTest, OnlyACompletedFlashOfAReadableRecordCounts) {
  const std::string after = "2026-12-08T23:10:01Z";
  EXPECT_FALSE(pendingRestartFrom(lastFlash(after, "false"), boot, "11.8.50.3399"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash(after, "null", "flashing"), boot, "11.8.50.3399"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash(after), std::nullopt, "11.8.50.3399"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash("yesterday"), boot, "11.8.50.3399"));
  EXPECT_FALSE(pendingRestartFrom(lastFlash(after), boot, "11.8"));
  for (const char* broken : {"", "{", "[]", "null", R"({"schema": 2})",
                             R"({"schema": 1, "state": 7, "flash": [], "firmware": "x"})"}) {
    EXPECT_FALSE(pendingRestartFrom(broken, boot, "11.8.50.3399")) << broken;
  }
  std::string noVersion = lastFlash(after);
  noVersion.replace(noVersion.find("\"11.8.55.3510\""), 14, "null");
  EXPECT_FALSE(pendingRestartFrom(noVersion, boot, "11.8.50.3399"));
}

}  // namespace
