#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "scenario.h"

// One named output of a tool, written as scenario steps (see scenario.h).
struct Behaviour {
  const char* run;  // the first argument it answers; "" for any run
  const char* name;
  const char* steps;  // scenario text made of steps only
};

struct ValueDefault {
  const char* key;
  const char* text;
};

// Everything that tells one simulated tool from another.
struct ToolTable {
  const char* tool;          // its name in sim-calls.log
  const char* scenarioFile;  // read from the working folder
  std::vector<ValueDefault> values;
  std::vector<Behaviour> behaviours;
  void (*addDerivedValues)(Values& values);  // values computed from the others, or null
};

// The values a run prints: the tool's defaults, replaced by those the scenario sets, plus the
// derived ones. Throws std::runtime_error on a key the tool does not know.
Values toolValues(const ToolTable& table, const Scenario& scenario);

// The steps with every "behaviour" step replaced by that behaviour's own steps. A name is
// looked up among the behaviours for `run` first, then among those for any run. Throws
// std::runtime_error on an unknown name.
std::vector<Step> expandBehaviours(const std::vector<Step>& steps, const ToolTable& table,
                                   const std::string& run);

// Parses the scenario, checks it and plays it on `out`; returns the exit status. The steps
// played are `forcedBehaviour` when given, else the scenario's, else "behaviour default".
// Throws std::runtime_error on a mistake in the scenario, before anything is printed.
int runScenario(const ToolTable& table, const std::string& scenarioText, const std::string& run,
                std::FILE* out, const char* forcedBehaviour = nullptr);

// The whole simulated tool: records the call, then runs the scenario file of the working
// folder (or the default output) on standard output in binary mode. Returns the exit status;
// a mistake in the scenario is written to standard error and gives scenarioMistakeStatus.
int simulateTool(const ToolTable& table, int argc, char** argv,
                 const char* forcedBehaviour = nullptr);
