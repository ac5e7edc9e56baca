// The error catalogue: filling a message template, and reading the exit code back out of a
// caught message.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/error_catalogue.h"
#include "app/return_code.h"
#include "process_state.h"

namespace {

struct FormatCase {
  const char* name;
  const char* code;
  std::vector<std::string> arguments;
};

const FormatCase formatCases[] = {
    {"noArguments", "2010s", {}},
    {"oneArgument", "2003s", {"C:\\MeFwVer.sys"}},
    {"sixArguments", "1016h", {"1", "birch", "n02", "0", "birchx", "n02"}},
};

void formatMessage(benchmark::State& state, const FormatCase& formatCase) {
  resetProcessState();
  for (auto _ : state) {
    std::string message = formatError(formatCase.code, formatCase.arguments);
    benchmark::DoNotOptimize(message);
  }
}

struct ExtractCase {
  const char* name;
  const char* message;
};

const ExtractCase extractCases[] = {
    {"error",
     "ERROR 2011s: System bios version n01 ver. 1.03.0 does not meet prerequisite "
     "version 1.04.0."},
    {"notice",
     "CODE  3001n: Your system already has firmware 11.8.55.3510 installed. If you "
     "would like to update over the same version, run this again with the -force "
     "argument."},
    {"toolError", "ERROR 8716u: The image does not fit this platform."},
    {"conflict",
     "ERROR 1016h: Input profile supported platform conflict.\nInput profile 1's "
     "supported platform birch's BIOS branch n02\nAlready exists in input profile "
     "0, supported platform birchx, BIOS branch n02"},
    {"noCode", "Unexpected failure without a code"},
};

// Messages read between two resets: each reading adds its verbose lines to the run log.
constexpr int messagesPerBatch = 1000;

void extractCode(benchmark::State& state, const ExtractCase& extractCase) {
  const std::string message = extractCase.message;
  resetProcessState();
  for (auto _ : state) {
    for (int i = 0; i < messagesPerBatch; ++i) {
      benchmark::DoNotOptimize(extractReturnCode(message));
    }
    state.PauseTiming();
    resetProcessState();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * messagesPerBatch);
}

bool registerCatalogueBenchmarks() {
  for (const FormatCase& formatCase : formatCases) {
    benchmark::RegisterBenchmark(
        (std::string("ErrorCatalogue/formatError/") + formatCase.name).c_str(), formatMessage,
        formatCase);
  }
  for (const ExtractCase& extractCase : extractCases) {
    benchmark::RegisterBenchmark(
        (std::string("ErrorCatalogue/extractReturnCode/") + extractCase.name).c_str(), extractCode,
        extractCase);
  }
  return true;
}

const bool registered = registerCatalogueBenchmarks();

}  // namespace
