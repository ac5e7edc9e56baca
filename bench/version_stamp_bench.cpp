// writeVersionStamp into a temporary folder standing in for the system drive. Each write
// goes to a temporary sibling, is synced to the disk and moved over the stamp, so the disk
// dominates; the image alone (pieces filled in and decoded, no file) shows the program's own
// share.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "stamp/firmware_updater.h"
#include "stamp/stamp_pieces.h"
#include "stamp/stamp_template.h"

namespace {

void writeStamp(benchmark::State& state, const char* version) {
  ScratchFolder folder("stamp");
  FirmwareUpdater updater("MeFwVer.sys", "ME_Flash\\Local-Win\\FwUpdLcl64.exe -f", "-allowsv",
                          "-s");
  for (auto _ : state) {
    state.PauseTiming();
    resetProcessState();
    platform::fakePlatform().environment["SystemDrive"] = folder.path().string();
    state.ResumeTiming();
    updater.writeVersionStamp(version);
  }
}

void buildImage(benchmark::State& state) {
  const std::vector<std::string> templatePieces(stampTemplatePieces.begin(),
                                                stampTemplatePieces.end());
  for (auto _ : state) {
    std::string hex;
    for (const std::string& piece :
         versionStampPieces(templatePieces, "11.22.33.4444", {11, 22, 33, 4444})) {
      hex += piece;
    }
    std::string image = decodeHex(hex);
    benchmark::DoNotOptimize(image);
  }
}

BENCHMARK_CAPTURE(writeStamp, shortVersion, "1.2.3.4")
    ->Name("VersionStamp/write/1.2.3.4")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(writeStamp, templateVersion, "11.22.33.4444")
    ->Name("VersionStamp/write/11.22.33.4444")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(buildImage)->Name("VersionStamp/imageOnly/11.22.33.4444")->Unit(benchmark::kMicrosecond);

}  // namespace
