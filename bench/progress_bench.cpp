// The update run's progress handling on the scripted platform: parseUpdateProgress on each
// kind of line the update tool prints, and runUpdate over a whole update.
// Console writes only append to the fake's record here; what real writes cost is measured end
// to end by e2e_throughput.py.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "settings/run_settings.h"
#include "stamp/firmware_updater.h"
#include "update/update_progress.h"
#include "update/update_run.h"

namespace {

struct LineCase {
  const char* name;
  const char* line;
};

const LineCase lineCases[] = {
    {"verificationRedraw", "Sending the update image to FW for verification:  [  57 % ]"},
    {"updateRedraw", "FW Update:  [  42% (-)]"},
    {"verificationComplete", "Sending the update image to FW for verification:  [ COMPLETE ]"},
    {"ordinaryLine", "Writing partition 4 of the image to the flash."},
    {"completed", "FW Update is completed successfully."},
};

// Lines parsed between two resets: the run log and the fake console grow with every line, and
// letting them grow for millions of lines would measure the allocator instead.
constexpr int linesPerBatch = 1000;

void parseLines(benchmark::State& state, const LineCase& lineCase) {
  const std::string line = lineCase.line;
  resetProcessState();
  for (auto _ : state) {
    for (int i = 0; i < linesPerBatch; ++i) {
      parseUpdateProgress(line);
    }
    state.PauseTiming();
    resetProcessState();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * linesPerBatch);
  state.SetBytesProcessed(state.iterations() * linesPerBatch * static_cast<long>(line.size()));
}

const std::string updateCommand = "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f";
const std::string image = "11.8.55.3510.bin";

// Arguments: the size of the tool's output, and 1 for a verbose run (ordinary lines shown).
void runWholeUpdate(benchmark::State& state) {
  const std::string output = updateOutput(static_cast<std::size_t>(state.range(0)));
  const bool verbose = state.range(1) != 0;
  FirmwareUpdater updater("MeFwVer.sys", updateCommand, "-allowsv", "-s");
  for (auto _ : state) {
    state.PauseTiming();
    resetProcessState();
    if (verbose) setVerboseFlag();
    platform::fakePlatform().commandOutput[updateCommand + " ME_Flash\\" + image] = output;
    state.ResumeTiming();
    runUpdate(updater, image);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long>(output.size()));
  state.SetLabel(verbose ? "verbose" : "silent");
}

bool registerProgressBenchmarks() {
  for (const LineCase& lineCase : lineCases) {
    benchmark::RegisterBenchmark((std::string("Progress/parse/") + lineCase.name).c_str(),
                                 parseLines, lineCase);
  }
  benchmark::RegisterBenchmark("Progress/runUpdate", runWholeUpdate)
      ->ArgsProduct({{1 << 20, 16 << 20}, {0, 1}})
      ->Unit(benchmark::kMillisecond);
  return true;
}

const bool registered = registerProgressBenchmarks();

}  // namespace
