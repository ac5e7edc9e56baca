// The fleet plan's two forms of output. A fleet may hold a hundred thousand machines: both are
// built by appending to one text, and every name and text that came from the machines is
// shown with its control characters escaped.
#include <set>

#include "app/product_version.h"
#include "app/run_record.h"
#include "console/json_text.h"
#include "mefwkit/kit_exit_meanings.h"
#include "mefwkit/kit_fleet.h"
#include "mefwkit/kit_output.h"

namespace {

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string outcomeText(const RunOutcome& outcome) {
  std::string text = outcome.state.empty() ? "" : shownText(outcome.state);
  if (outcome.exitCode) {
    text += (text.empty() ? "exit " : ", exit ") + std::to_string(*outcome.exitCode);
  }
  if (!outcome.code.empty()) {
    text += (text.empty() ? "" : " ") + ("(" + shownText(outcome.code) + ")");
  }
  if (!outcome.time.empty()) text += (text.empty() ? "" : ", ") + shownText(outcome.time);
  return text.empty() ? "unknown" : text;
}

std::string machineName(const FleetMachine& machine) {
  std::string name = shownText(machine.name);
  if (!machine.computerName.empty()) name += " [" + shownText(machine.computerName) + "]";
  return name;
}

// "pc-1 [PC-1]: N01 Ver. 1.05.2, 11.8.50.3399; last run finished, exit 0, 2026-..."
std::string machineLine(const FleetMachine& machine) {
  std::string line =
      "  " + machineName(machine) + ": " + shownText(machine.biosText) + ", " +
      (machine.installedVersion ? shownText(*machine.installedVersion) : "no installed version");
  if (machine.last) line += "; last run " + outcomeText(*machine.last);
  if (!machine.lastFlashState.empty()) line += "; last flash " + shownText(machine.lastFlashState);
  if (machine.lastScan) line += "; last scan " + outcomeText(*machine.lastScan);
  return line + "\n";
}

std::string groupsText(const FleetPlan& plan) {
  std::string text;
  text.reserve(plan.machines.size() * 100);
  for (const auto& [exitCode, count] : plan.counts) {
    text += "Exit code " + std::to_string(exitCode) + ", " +
            plural(static_cast<std::size_t>(count), "machine", "machines") + ":\n";
    for (std::size_t i = 0; i < plan.machines.size(); ++i) {
      const SharedPlan& shared = plan.plans[plan.planOf[i]];
      if (!shared.needsInstalledVersion && shared.exitCode == exitCode) {
        text += machineLine(plan.machines[i]);
      }
    }
  }
  if (plan.needInstalledVersion.empty()) return text;
  text += "Needs the installed version, " +
          plural(plan.needInstalledVersion.size(), "machine", "machines") + ":\n";
  for (std::size_t index : plan.needInstalledVersion) {
    text += machineLine(plan.machines[index]);
  }
  return text;
}

std::size_t distinctMachines(const std::vector<Attention>& attention) {
  std::set<std::size_t> machines;
  for (const Attention& item : attention) {
    machines.insert(item.machine);
  }
  return machines.size();
}

std::string apartText(const FleetPlan& plan) {
  std::string text;
  if (!plan.attention.empty()) {
    text += "Needs attention, " + plural(distinctMachines(plan.attention), "machine", "machines") +
            " (planned all the same):\n";
    for (const Attention& item : plan.attention) {
      text += "  " + machineName(plan.machines[item.machine]) + ": " + item.why + "\n";
    }
  }
  if (!plan.joinedDigits.empty()) {
    text += "Compared by joining digits, " +
            plural(plan.joinedDigits.size(), "machine", "machines") + ":\n";
    for (std::size_t index : plan.joinedDigits) {
      const JoinedDigits& joined = *plan.plans[plan.planOf[index]].joinedDigits;
      text += "  " + machineName(plan.machines[index]) + ": " + joinedDigitsText(joined) + "\n";
    }
  }
  for (const FleetProblem& problem : plan.unreadable) {
    text += "unreadable: " + shownText(problem.where) + ": " + shownText(problem.why) + "\n";
  }
  return text;
}

const char* signatureText(SignatureOutcome signature) {
  switch (signature) {
    case SignatureOutcome::checked:
      return "signature of Intel's tool: checked";
    case SignatureOutcome::leftOut:
      return "signature of Intel's tool: not checked (--no-signature-check)";
    case SignatureOutcome::notCheckable:
      return "signature of Intel's tool: not checked (this build cannot check signatures)";
    case SignatureOutcome::notReached:
      break;
  }
  return "signature of Intel's tool: not reached";
}

std::string summaryText(const FleetPlan& plan) {
  std::string text;
  for (const auto& [exitCode, count] : plan.counts) {
    text += "exit code " + std::to_string(exitCode) + ": " +
            plural(static_cast<std::size_t>(count), "machine", "machines") + ": " +
            exitCodeMeaning(exitCode) + "\n";
  }
  std::size_t planned = plan.machines.size() - plan.needInstalledVersion.size();
  return text + signatureText(plan.signature) + "\n" + plural(planned, "machine", "machines") +
         " planned, " + std::to_string(plan.needInstalledVersion.size()) + " " +
         (plan.needInstalledVersion.size() == 1 ? "needs" : "need") + " the installed version, " +
         std::to_string(plan.unreadable.size()) + " unreadable.\n";
}

std::string gateText(const std::optional<std::vector<std::string>>& gate) {
  if (!gate) return "";
  if (gate->empty()) return "Gate: passed.\n";
  std::string text;
  for (const std::string& failure : *gate) {
    text += "Gate failed: " + failure + ".\n";
  }
  return text;
}

std::string outcomeJson(const std::optional<RunOutcome>& outcome) {
  if (!outcome) return "null";
  return jsonObject({{"state", jsonStringOrNull(outcome->state)},
                     {"exitCode", outcome->exitCode ? std::to_string(*outcome->exitCode) : "null"},
                     {"code", jsonStringOrNull(outcome->code)},
                     {"time", jsonStringOrNull(outcome->time)}});
}

std::string messageJson(const std::string& message) {
  if (message.empty()) return "null";
  return jsonObject(
      {{"code", jsonStringOrNull(messageCode(message))}, {"text", jsonString(message)}});
}

std::string machineJson(const FleetPlan& plan, std::size_t index) {
  const FleetMachine& machine = plan.machines[index];
  const SharedPlan& shared = plan.plans[plan.planOf[index]];
  bool needs = shared.needsInstalledVersion;
  return jsonObject(
      {{"name", jsonString(machine.name)},
       {"computerName", jsonStringOrNull(machine.computerName)},
       {"bios", jsonString(machine.biosText)},
       {"me", machine.installedVersion ? jsonString(*machine.installedVersion) : "null"},
       {"biosFamily", jsonStringOrNull(shared.biosFamily)},
       {"profile", shared.profileIndex >= 0 ? std::to_string(shared.profileIndex) : "null"},
       {"exitCode", needs ? "null" : std::to_string(shared.exitCode)},
       {"message", messageJson(shared.message)},
       {"needs", needs ? jsonString("installedVersion") : "null"},
       {"last", outcomeJson(machine.last)},
       {"lastFlash", jsonStringOrNull(machine.lastFlashState)},
       {"lastScan", outcomeJson(machine.lastScan)}});
}

std::string joinedJson(const FleetPlan& plan, std::size_t index) {
  const JoinedDigits& joined = *plan.plans[plan.planOf[index]].joinedDigits;
  return jsonObject({{"name", jsonString(plan.machines[index].name)},
                     {"bios", jsonString(plan.machines[index].biosText)},
                     {"prereqBios", jsonString(joined.prereqBios)},
                     {"biosNumber", std::to_string(joined.biosNumber)},
                     {"prereqNumber", std::to_string(joined.prereqNumber)}});
}

// The members of the fleet's object after its machines, which are written one by one.
std::vector<std::pair<std::string, std::string>> fleetMembers(
    const FleetPlan& plan, const std::optional<std::vector<std::string>>& gate) {
  std::vector<std::pair<std::string, std::string>> counts;
  for (const auto& [exitCode, count] : plan.counts) {
    counts.emplace_back(std::to_string(exitCode), std::to_string(count));
  }
  std::vector<std::string> needs, attention, joined, unreadable;
  for (std::size_t index : plan.needInstalledVersion) {
    needs.push_back(jsonString(plan.machines[index].name));
  }
  for (const Attention& item : plan.attention) {
    attention.push_back(jsonObject(
        {{"name", jsonString(plan.machines[item.machine].name)}, {"why", jsonString(item.why)}}));
  }
  for (std::size_t index : plan.joinedDigits) {
    joined.push_back(joinedJson(plan, index));
  }
  for (const FleetProblem& problem : plan.unreadable) {
    unreadable.push_back(
        jsonObject({{"where", jsonString(problem.where)}, {"why", jsonString(problem.why)}}));
  }
  const char* signatures[] = {"checked", "leftOut", "notCheckable", "notReached"};
  std::string gateJson = "null";
  if (gate) {
    std::vector<std::string> failures;
    for (const std::string& failure : *gate) {
      failures.push_back(jsonString(failure));
    }
    gateJson = jsonObject(
        {{"passed", gate->empty() ? "true" : "false"}, {"failures", jsonArray(failures)}});
  }
  return {{"counts", jsonObject(counts)},
          {"needsInstalledVersion", jsonArray(needs)},
          {"needsAttention", jsonArray(attention)},
          {"joinedDigits", jsonArray(joined)},
          {"unreadable", jsonArray(unreadable)},
          {"signature", jsonString(signatures[static_cast<int>(plan.signature)])},
          {"gate", gateJson}};
}

}  // namespace

std::string fleetText(const FleetPlan& plan, const std::optional<std::vector<std::string>>& gate) {
  std::string text = groupsText(plan);
  return text.append(apartText(plan)).append(summaryText(plan)).append(gateText(gate));
}

std::string fleetJson(const FleetPlan& plan, const std::optional<std::vector<std::string>>& gate) {
  std::string text;
  // About what a machine's entry takes, so that the text seldom moves as it grows.
  text.reserve(plan.machines.size() * 400);
  text +=
      "{\"schema\": 1, \"toolVersion\": " + jsonString(MEFW_PRODUCT_VERSION) + ", \"machines\": [";
  for (std::size_t i = 0; i < plan.machines.size(); ++i) {
    text += i == 0 ? "" : ", ";
    text += machineJson(plan, i);
  }
  text += "]";
  for (const auto& [name, value] : fleetMembers(plan, gate)) {
    text += ", " + jsonString(name) + ": " + value;
  }
  return text + "}\n";
}
