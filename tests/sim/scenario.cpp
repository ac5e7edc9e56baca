#include "scenario.h"

#include <stdexcept>
#include <utility>

#include "escapes.h"

namespace {

// How each step is written: its key, how many numbers follow it, and whether text follows.
struct StepSyntax {
  const char* key;
  StepKind kind;
  int numbers;
  bool takesText;
};

const StepSyntax stepSyntax[] = {
    {"behaviour", StepKind::behaviour, 0, true}, {"out", StepKind::out, 0, true},
    {"repeat", StepKind::repeat, 1, true},       {"count", StepKind::count, 2, true},
    {"file", StepKind::file, 0, true},           {"sleep", StepKind::sleep, 1, false},
    {"await", StepKind::await, 0, true},         {"touch", StepKind::touch, 0, true},
    {"exit", StepKind::exit, 1, false},          {"kill", StepKind::kill, 0, false},
    {"leave", StepKind::leave, 1, false},
};

// The first word of `text` and what follows the blank after it.
std::pair<std::string, std::string> takeWord(const std::string& text) {
  std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return {text, ""};
  return {text.substr(0, blank), text.substr(blank + 1)};
}

// A plain decimal number; up to 15 digits, far more than any count or delay needs.
long long parseNumber(const std::string& word, int line) {
  bool digitsOnly = !word.empty() && word.size() <= 15 &&
                    word.find_first_not_of("0123456789") == std::string::npos;
  if (!digitsOnly) failAtLine(line, "\"" + word + "\" is not a number");
  return std::stoll(word);
}

const StepSyntax* findStepSyntax(const std::string& key) {
  for (const StepSyntax& syntax : stepSyntax) {
    if (key == syntax.key) return &syntax;
  }
  return nullptr;
}

Step parseStep(const StepSyntax& syntax, std::string argument, int line) {
  Step step;
  step.kind = syntax.kind;
  step.line = line;
  long long* numbers[] = {&step.first, &step.last};
  for (int i = 0; i < syntax.numbers; ++i) {
    auto [word, rest] = takeWord(argument);
    *numbers[i] = parseNumber(word, line);
    argument = rest;
  }
  if (syntax.kind == StepKind::exit && step.first > 2147483647) {
    failAtLine(line, "exit status " + std::to_string(step.first) + " is too large");
  }
  if (!syntax.takesText && !argument.empty()) {
    failAtLine(line, std::string("unexpected text after \"") + syntax.key + "\"");
  }
  bool needsName = syntax.kind == StepKind::behaviour || syntax.kind == StepKind::file ||
                   syntax.kind == StepKind::await || syntax.kind == StepKind::touch;
  if (needsName && argument.empty()) {
    failAtLine(line, std::string("\"") + syntax.key + "\" needs a name");
  }
  step.text = argument;
  return step;
}

bool isSkipped(const std::string& line) {
  std::size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos || line[first] == '#';
}

bool isSectionHeader(const std::string& line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

void parseLine(const std::string& line, int number, Scenario& scenario) {
  auto [key, argument] = takeWord(line);
  if (const StepSyntax* syntax = findStepSyntax(key)) {
    scenario.steps.push_back(parseStep(*syntax, argument, number));
  } else if (key == "pace") {
    scenario.paceMs = parseNumber(argument, number);
  } else {
    scenario.values.push_back({key, decodeEscapes(argument), number});
  }
}

}  // namespace

void failAtLine(int line, const std::string& what) {
  throw std::runtime_error("line " + std::to_string(line) + ": " + what);
}

Scenario parseScenario(const std::string& text, const std::string& run) {
  Scenario scenario;
  Scenario otherRuns;  // parsed too, so that a mistake shows in every run
  bool counts = true;
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (isSkipped(line)) continue;
    if (isSectionHeader(line)) {
      counts = line.substr(1, line.size() - 2) == run;
    } else {
      parseLine(line, number, counts ? scenario : otherRuns);
    }
  }
  return scenario;
}
