// The pattern engine on the expressions the program searches tool output with: one line at a
// time, as the progress parser uses them, and whole outputs of 1 KB to 64 MB, as the BIOS and
// version queries and the exit code use them, with the match at the very end or nowhere.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_support.h"
#include "system/pattern.h"

namespace {

struct ExpressionCase {
  const char* name;
  const char* expression;
  const char* matchingLine;
  const char* otherLine;  // a line the program really meets where this expression fails
  // Whole outputs: lines with their line ends for expressions that search whole outputs,
  // without them for the progress expressions, which see a line only once it is cut at a
  // carriage return and stripped of line feeds.
  bool lineEnds;
};

const ExpressionCase expressionCases[] = {
    {"bios", R"([\s\S]*([a-zA-Z][0-9][0-9] [a-zA-Z0-9\. ]*)[\s\S]*)", "N01 Ver. 1.05.2  ",
     "SMBIOSBIOSVersion  ", true},
    {"toolError", R"(Error ([0-9]*): ([.\s\S]*))",
     "Error 8193: Unable to reach the firmware through the Intel (R) MEI driver.",
     "Checking firmware parameters...", true},
    {"returnCode", R"(.*(?:ERROR|CODE)[ ]*([\d]+)([\D]).*)",
     "ERROR 2010s: This platform is not supported by the Kitbox.",
     "Input profile 1's supported platform birch's BIOS branch n02", true},
    {"verification", R"(.*verification: *\[ *([0-9]*) *% *\])",
     "Sending the update image to FW for verification:  [  57 % ]", "FW Update:  [  42% (-)]",
     false},
    {"update", R"(.*FW Update *: *\[ *([0-9]*)% \(.\).*\])", "FW Update:  [  42% (-)]",
     "Writing partition 4 of the image to the flash.", false},
    {"complete", R"(.*COMPLETE.*)",
     "Sending the update image to FW for verification:  [ COMPLETE ]", "FW Update:  [  42% (-)]",
     false},
    {"completed", R"(.*completed.*)", "FW Update is completed successfully.",
     "Restart the system to start the new firmware.", false},
};

void searchLine(benchmark::State& state, const ExpressionCase& expression, bool matching) {
  const Pattern pattern = compilePattern(expression.expression);
  const std::string line = matching ? expression.matchingLine : expression.otherLine;
  PatternMatch match;
  for (auto _ : state) {
    bool found = searchPattern(pattern, line, match);
    benchmark::DoNotOptimize(found);
    if (found != matching) state.SkipWithError("unexpected result");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long>(line.size()));
}

void searchOutput(benchmark::State& state, const ExpressionCase& expression, bool matching) {
  const Pattern pattern = compilePattern(expression.expression);
  const std::string lineEnd = expression.lineEnds ? "\r\n" : "";
  const std::string text =
      textOfSize(static_cast<std::size_t>(state.range(0)), expression.otherLine + lineEnd,
                 matching ? expression.matchingLine + lineEnd : "");
  PatternMatch match;
  for (auto _ : state) {
    bool found = searchPattern(pattern, text, match);
    benchmark::DoNotOptimize(found);
    if (found != matching) state.SkipWithError("unexpected result");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long>(text.size()));
}

void compileExpression(benchmark::State& state, const ExpressionCase& expression) {
  for (auto _ : state) {
    Pattern pattern = compilePattern(expression.expression);
    benchmark::DoNotOptimize(pattern);
  }
}

bool registerPatternBenchmarks() {
  for (const ExpressionCase& expression : expressionCases) {
    std::string name = expression.name;
    benchmark::RegisterBenchmark(("Pattern/compile/" + name).c_str(), compileExpression,
                                 expression);
    for (bool matching : {true, false}) {
      std::string kind = matching ? "/match" : "/miss";
      benchmark::RegisterBenchmark(("Pattern/line/" + name + kind).c_str(), searchLine, expression,
                                   matching);
      auto* output = benchmark::RegisterBenchmark(("Pattern/output/" + name + kind).c_str(),
                                                  searchOutput, expression, matching);
      for (long size : textSizes())
        output->Arg(size);
      output->Unit(benchmark::kMicrosecond);
    }
  }
  return true;
}

const bool registered = registerPatternBenchmarks();

}  // namespace
