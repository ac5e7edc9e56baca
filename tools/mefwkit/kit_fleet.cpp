#include "mefwkit/kit_fleet.h"

#include <algorithm>
#include <utility>

#include "app/product_version.h"
#include "app/run_record.h"
#include "console/json_text.h"
#include "console/messages.h"
#include "mefwkit/kit_plan.h"

namespace {

FleetOutcome planFleetMachine(const std::vector<InputProfile>& profiles,
                              const FleetMachine& machine, const FirmwareUpdater& updater,
                              bool force) {
  KitPlan plan =
      planMachine(profiles, {machine.biosText, machine.installedVersion, force}, updater);
  // The steps' verbose lines are of no use here, and a fleet would make them large.
  resetRunLog();
  return {machine.name, plan.exitCode, plan.message};
}

std::string plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string messageJson(const std::string& message) {
  if (message.empty()) return "null";
  return jsonObject(
      {{"code", jsonStringOrNull(messageCode(message))}, {"text", jsonString(message)}});
}

}  // namespace

FleetPlan planFleet(const Fleet& fleet, const std::string& kitboxPath,
                    const FirmwareUpdater& updater, bool force) {
  FleetPlan plan;
  // input.txt is read once: an error in it, or a Kitbox on a network path, ends every run alike.
  std::vector<InputProfile> profiles;
  std::optional<KitPlan> refused = readKitboxProfiles(kitboxPath, profiles);
  std::map<std::pair<std::string, std::string>, FleetOutcome> planned;
  for (const FleetMachine& machine : fleet.machines) {
    auto key = std::make_pair(machine.biosText, machine.installedVersion);
    auto found = planned.find(key);
    if (found == planned.end()) {
      FleetOutcome outcome = refused
                                 ? FleetOutcome{machine.name, refused->exitCode, refused->message}
                                 : planFleetMachine(profiles, machine, updater, force);
      found = planned.emplace(key, outcome).first;
    }
    FleetOutcome outcome = found->second;
    outcome.name = machine.name;
    ++plan.counts[outcome.exitCode];
    plan.outcomes.push_back(std::move(outcome));
  }
  plan.unreadable = fleet.unreadable;
  return plan;
}

std::string fleetText(const FleetPlan& plan) {
  std::string text;
  for (const FleetOutcome& outcome : plan.outcomes) {
    std::string code = messageCode(outcome.message);
    text += outcome.name + ": " + std::to_string(outcome.exitCode) +
            (code.empty() ? "" : " " + code) + "\n";
  }
  for (const auto& [exitCode, count] : plan.counts) {
    text += "exit code " + std::to_string(exitCode) + ": " + plural(count, "machine", "machines") +
            "\n";
  }
  for (const FleetProblem& problem : plan.unreadable) {
    text += "unreadable: " + problem.where + ": " + problem.why + "\n";
  }
  int unreadable = static_cast<int>(plan.unreadable.size());
  return text + plural(static_cast<int>(plan.outcomes.size()), "machine", "machines") +
         " planned, " + std::to_string(unreadable) + " unreadable.\n";
}

std::string fleetJson(const FleetPlan& plan) {
  std::vector<std::string> machines;
  machines.reserve(plan.outcomes.size());
  for (const FleetOutcome& outcome : plan.outcomes) {
    machines.push_back(jsonObject({{"name", jsonString(outcome.name)},
                                   {"exitCode", std::to_string(outcome.exitCode)},
                                   {"message", messageJson(outcome.message)}}));
  }
  std::vector<std::pair<std::string, std::string>> counts;
  for (const auto& [exitCode, count] : plan.counts) {
    counts.emplace_back(std::to_string(exitCode), std::to_string(count));
  }
  std::vector<std::string> unreadable;
  for (const FleetProblem& problem : plan.unreadable) {
    unreadable.push_back(
        jsonObject({{"where", jsonString(problem.where)}, {"why", jsonString(problem.why)}}));
  }
  return jsonObject({{"schema", "1"},
                     {"toolVersion", jsonString(MEFW_PRODUCT_VERSION)},
                     {"machines", jsonArray(machines)},
                     {"counts", jsonObject(counts)},
                     {"unreadable", jsonArray(unreadable)}}) +
         "\n";
}

std::optional<std::vector<int>> parseExpectedCodes(const std::string& text) {
  std::vector<int> codes;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t comma = std::min(text.find(',', at), text.size());
    std::string word = text.substr(at, comma - at);
    if (word.empty() || word.size() > 9 ||
        word.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    codes.push_back(std::stoi(word));
    at = comma + 1;
  }
  return codes;
}

bool fleetMeetsExpectation(const FleetPlan& plan, const std::vector<int>& expected) {
  for (const auto& [exitCode, count] : plan.counts) {
    if (count > 0 && std::find(expected.begin(), expected.end(), exitCode) == expected.end()) {
      return false;
    }
  }
  return true;
}
