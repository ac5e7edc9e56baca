#include "sim_tool.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "binary_stdout.h"
#include "crash.h"
#include "play.h"
#include "sim_calls.h"

namespace {

// Built-in behaviours may use one another; a deeper chain than this is a loop.
constexpr int maxBehaviourDepth = 8;

const Behaviour* findBehaviour(const ToolTable& table, const std::string& run,
                               const std::string& name) {
  for (const char* wanted : {run.c_str(), ""}) {
    for (const Behaviour& behaviour : table.behaviours) {
      if (wanted == std::string(behaviour.run) && name == behaviour.name) return &behaviour;
    }
  }
  return nullptr;
}

void expandInto(std::vector<Step>& expanded, const std::vector<Step>& steps, const ToolTable& table,
                const std::string& run, int depth) {
  for (const Step& step : steps) {
    if (step.kind != StepKind::behaviour) {
      expanded.push_back(step);
      continue;
    }
    const Behaviour* behaviour = findBehaviour(table, run, step.text);
    if (!behaviour) failAtLine(step.line, "unknown behaviour \"" + step.text + "\"");
    if (depth == maxBehaviourDepth) failAtLine(step.line, "behaviours nest too deeply");
    expandInto(expanded, parseScenario(behaviour->steps, run).steps, table, run, depth + 1);
  }
}

void checkFiles(const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    if (step.kind == StepKind::file && !std::ifstream(step.text, std::ios::binary)) {
      failAtLine(step.line, "cannot read \"" + step.text + "\"");
    }
  }
}

Step behaviourStep(const char* name) {
  Step step;
  step.kind = StepKind::behaviour;
  step.text = name;
  return step;
}

// A missing file is no mistake: the tool then prints its default output.
std::string readScenarioFile(const char* name) {
  std::ifstream file(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

Values toolValues(const ToolTable& table, const Scenario& scenario) {
  Values values;
  for (const ValueDefault& value : table.values) {
    values[value.key] = value.text;
  }
  for (const ValueSetting& setting : scenario.values) {
    if (!values.count(setting.key)) failAtLine(setting.line, "unknown key \"" + setting.key + "\"");
    values[setting.key] = setting.text;
  }
  if (table.addDerivedValues) table.addDerivedValues(values);
  return values;
}

std::vector<Step> expandBehaviours(const std::vector<Step>& steps, const ToolTable& table,
                                   const std::string& run) {
  std::vector<Step> expanded;
  expandInto(expanded, steps, table, run, 0);
  return expanded;
}

int runScenario(const ToolTable& table, const std::string& scenarioText, const std::string& run,
                std::FILE* out, const char* forcedBehaviour) {
  Scenario scenario = parseScenario(scenarioText, run);
  Values values = toolValues(table, scenario);
  std::vector<Step> steps = scenario.steps;
  if (forcedBehaviour) {
    steps = {behaviourStep(forcedBehaviour)};
  } else if (steps.empty()) {
    steps = {behaviourStep("default")};
  }
  steps = expandBehaviours(steps, table, run);
  checkFiles(steps);
  return playSteps(steps, values, scenario.paceMs, out).value_or(0);
}

int simulateTool(const ToolTable& table, int argc, char** argv, const char* forcedBehaviour) {
  makeStdoutBinary();
  if (lingerIfAsked(argc, argv)) return 0;
  recordCall(table.tool, argc, argv);
  std::string run = argc > 1 ? argv[1] : "";
  try {
    return runScenario(table, readScenarioFile(table.scenarioFile), run, stdout, forcedBehaviour);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s simulation: %s, %s\n", table.tool, table.scenarioFile, error.what());
    return scenarioMistakeStatus;
  }
}
