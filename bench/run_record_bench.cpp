// What the run record costs one run: the three writes of a run that flashes (running,
// flashing, finished), each an atomic replace synced to the disk, with the finished one copying
// a run log of 1 MiB and an error log. The state folder is real, in a temporary folder; the
// first write also opens and checks the folders and prunes the old runs (20 of them here).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/run_guards.h"
#include "app/run_record.h"
#include "app/run_record_store.h"
#include "bench_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"

namespace {

void writeLog(const std::filesystem::path& path, std::size_t bytes) {
  std::ofstream file(path, std::ios::binary);
  file << std::string(bytes, 'x');
}

void wholeRun(benchmark::State& state, bool copyLogs) {
  ScratchFolder folder("record");
  writeLog(folder.path() / "runLog.log", 1 << 20);
  writeLog(folder.path() / "installerError.log", 64 << 10);
  unsigned long processId = 1;
  for (auto _ : state) {
    state.PauseTiming();
    resetProcessState();
    platform::FakePlatform& fake = platform::fakePlatform();
    fake.stateFolder = (folder.path() / "state").string();
    fake.processId = ++processId;
    // A run that flashes holds the guard, and only such a run writes a run folder and prunes.
    claimFirmwareAccess();
    RunRecord record;
    record.started = 1796771400;
    record.mode = "update";
    record.arguments = {"-s", "-log"};
    record.logs = {"installerError.log", "runLog.log"};
    state.ResumeTiming();
    writeRunRecord(record, false);
    record.state = "flashing";
    record.flashStarted = true;
    writeRunRecord(record, false);
    record.state = "finished";
    record.exitCode = 0;
    writeRunRecord(record, copyLogs);
  }
  if (!std::filesystem::exists(folder.path() / "state" / "last-flash.json")) {
    state.SkipWithError("no record was written");
  }
}

BENCHMARK_CAPTURE(wholeRun, withLogs, true)
    ->Name("RunRecord/wholeRun/1MiBLog")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(wholeRun, withoutLogs, false)
    ->Name("RunRecord/wholeRun/noLogs")
    ->Unit(benchmark::kMillisecond);

}  // namespace
