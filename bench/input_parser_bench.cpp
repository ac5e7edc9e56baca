// loadInputProfiles on an input.txt of 10,000 profiles.
//
// A BIOS family may belong to one profile only, and there are twelve families, so at most
// twelve profiles of any file can hold platforms. A file this large is a Kitbox that keeps
// every image it ever shipped: each profile has its comment, image, upfront message and BIOS
// prerequisite, and only the current image of each family lists platforms. Two layouts:
// "spread" gives the twelve families to twelve profiles spread evenly through the file (the
// last profile among them, which must have platforms); "lastOnly" gives all of them to the
// last profile, so that every platform is checked against all 9,999 profiles before it.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "process_state.h"
#include "profiles/input_parser.h"

namespace {

constexpr int profileCount = 10000;

// The platforms of each BIOS family, as docs/platforms.txt lists them.
const char* const familyPlatforms[] = {
    "aster, aster2, asterpro",
    "birch, birchx",
    "cedar, cedarmini",
    "dune14, dune16",
    "ember, embertab",
    "fjord",
    "glacier",
    "harbor",
    "islet",
    "juniper",
    "kestrel",
    "lagoon",
};
constexpr int familyCount = sizeof familyPlatforms / sizeof familyPlatforms[0];

std::string profileText(int index, const std::vector<std::string>& platformLines) {
  std::string version = "11.8." + std::to_string(index / 100) + "." + std::to_string(index % 100);
  std::string text = "# Image " + std::to_string(index) + ", kept for machines restored from " +
                     "older recovery media.\n";
  text += "meFirmwareFile = " + version + ".bin\n";
  for (const std::string& line : platformLines) {
    text += "supportedPlatforms = " + line + "\n";
  }
  text += "upfrontMessage = Keep the computer plugged in.\\nThe update takes about a minute.\n";
  text += "prereqBios = 1.04.0\n\n";
  return text;
}

std::string spreadFile() {
  std::string text;
  int nextFamily = 0;
  for (int index = 0; index < profileCount; ++index) {
    std::vector<std::string> platforms;
    if (nextFamily < familyCount && index == (nextFamily + 1) * profileCount / familyCount - 1) {
      platforms.push_back(familyPlatforms[nextFamily++]);
    }
    text += profileText(index, platforms);
  }
  return text;
}

std::string lastOnlyFile() {
  std::string text;
  for (int index = 0; index + 1 < profileCount; ++index) {
    text += profileText(index, {});
  }
  return text +
         profileText(profileCount - 1, {std::begin(familyPlatforms), std::end(familyPlatforms)});
}

void loadProfiles(benchmark::State& state, std::string (*makeFile)()) {
  ScratchFolder folder("input");
  const std::string text = makeFile();
  std::ofstream("input.txt", std::ios::binary) << text;
  std::vector<InputProfile> profiles;
  for (auto _ : state) {
    state.PauseTiming();
    resetProcessState();
    profiles.clear();
    state.ResumeTiming();
    loadInputProfiles(profiles);
  }
  if (profiles.size() != profileCount) state.SkipWithError("the profiles were not all loaded");
  state.SetItemsProcessed(state.iterations() * profileCount);
  state.SetBytesProcessed(state.iterations() * static_cast<long>(text.size()));
}

BENCHMARK_CAPTURE(loadProfiles, spread, spreadFile)
    ->Name("InputParser/10000profiles/spread")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadProfiles, lastOnly, lastOnlyFile)
    ->Name("InputParser/10000profiles/lastOnly")
    ->Unit(benchmark::kMillisecond);

}  // namespace
