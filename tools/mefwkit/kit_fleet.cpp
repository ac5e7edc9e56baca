#include "mefwkit/kit_fleet.h"

#include <algorithm>
#include <utility>

#include "console/messages.h"

namespace {

// The halves of the plans made so far: the BIOS steps by BIOS text, the rest by profile and
// installed version. A plan's steps raise at every refusal, and a raise is dear on some
// systems, so each half is made once for all machines that share it.
struct PlanHalves {
  std::map<std::string, KitPlan> bios;
  std::map<std::pair<int, std::optional<std::string>>, KitPlan> firmware;
};

template <typename Key, typename Make>
const KitPlan& madeOnce(std::map<Key, KitPlan>& made, const Key& key, Make make) {
  auto found = made.find(key);
  if (found == made.end()) {
    found = made.emplace(key, make()).first;
    // The steps' verbose lines are of no use here, and a fleet would make them large.
    resetRunLog();
  }
  return found->second;
}

SharedPlan sharedPlan(const KitboxFacts& kitbox, const FleetMachine& machine,
                      const FirmwareUpdater& updater, bool force, PlanHalves& halves) {
  const KitPlan& bios = madeOnce(halves.bios, machine.biosText,
                                 [&] { return planBiosSteps(kitbox, machine.biosText); });
  const KitPlan* plan = &bios;
  if (goesOnToVersionQuery(bios)) {
    plan = &madeOnce(
        halves.firmware, std::make_pair(bios.profileIndex, machine.installedVersion),
        [&] { return planFirmwareSteps(kitbox, bios, machine.installedVersion, force, updater); });
  }
  return {bios.biosFamily, bios.profileIndex, plan->needsInstalledVersion,
          plan->exitCode,  plan->message,     bios.joinedDigits};
}

bool lastEndedWith(const FleetMachine& machine, const char* code, int exitCode) {
  if (!machine.last) return false;
  if (!machine.last->code.empty()) return machine.last->code == code;
  return machine.last->exitCode == exitCode;
}

// What the records say that the plan cannot: a flash that never finished, a run that flashed
// without a completed update or a stamp, a restart still owed.
std::vector<std::string> attentionReasons(const FleetMachine& machine) {
  std::vector<std::string> reasons;
  if (machine.lastFlashState == "flashing") {
    reasons.push_back(
        "the last flash never finished: the installer was ended, or the machine lost power, "
        "during the flash");
  }
  if (lastEndedWith(machine, "2013s", 2013)) {
    reasons.push_back(
        "the last run's flash ended without Intel's tool reporting it complete "
        "(2013s)");
  }
  if (lastEndedWith(machine, "2014s", 2014)) {
    reasons.push_back(
        "the last run flashed, but MeFwVer.sys was not written with the new "
        "version (2014s)");
  }
  if (lastEndedWith(machine, "3002n", 3002)) {
    reasons.push_back("the last run found an update waiting for a restart (3002n)");
  }
  if (machine.restartPending.value_or(false)) reasons.push_back("a restart is pending");
  return reasons;
}

SignatureOutcome signatureOutcome(const KitboxFacts& kitbox, bool leftOut) {
  if (kitbox.refused || !kitbox.toolMissing.empty()) return SignatureOutcome::notReached;
  if (leftOut) return SignatureOutcome::leftOut;
  return kitbox.signatureChecked ? SignatureOutcome::checked : SignatureOutcome::notCheckable;
}

void noteMachine(FleetPlan& plan, std::size_t index) {
  const SharedPlan& shared = plan.plans[plan.planOf[index]];
  if (shared.needsInstalledVersion) {
    plan.needInstalledVersion.push_back(index);
  } else {
    ++plan.counts[shared.exitCode];
  }
  if (shared.joinedDigits) plan.joinedDigits.push_back(index);
  for (std::string& why : attentionReasons(plan.machines[index])) {
    plan.attention.push_back({index, std::move(why)});
  }
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string codeList(const std::vector<int>& codes) {
  std::string text;
  for (int code : codes) {
    text += (text.empty() ? "" : ",") + std::to_string(code);
  }
  return text;
}

std::string unexpectedCodes(const FleetPlan& plan, const std::vector<int>& expected) {
  std::string codes;
  int machines = 0;
  for (const auto& [exitCode, count] : plan.counts) {
    if (std::find(expected.begin(), expected.end(), exitCode) != expected.end()) continue;
    machines += count;
    codes += (codes.empty() ? "" : ", ") + std::to_string(exitCode) + " (" +
             plural(static_cast<std::size_t>(count), "machine", "machines") + ")";
  }
  if (machines == 0) return "";
  return plural(static_cast<std::size_t>(machines), "machine", "machines") +
         " would end with a code outside " + codeList(expected) + ": " + codes;
}

}  // namespace

FleetPlan planFleet(Fleet fleet, const KitboxFacts& kitbox, const FirmwareUpdater& updater,
                    bool force, bool signatureLeftOut) {
  FleetPlan plan;
  plan.machines = std::move(fleet.machines);
  plan.unreadable = std::move(fleet.unreadable);
  plan.signature = signatureOutcome(kitbox, signatureLeftOut);
  std::map<std::pair<std::string, std::optional<std::string>>, std::size_t> planned;
  PlanHalves halves;
  plan.planOf.reserve(plan.machines.size());
  for (std::size_t i = 0; i < plan.machines.size(); ++i) {
    const FleetMachine& machine = plan.machines[i];
    auto [found, added] = planned.emplace(
        std::make_pair(machine.biosText, machine.installedVersion), plan.plans.size());
    if (added) plan.plans.push_back(sharedPlan(kitbox, machine, updater, force, halves));
    plan.planOf.push_back(found->second);
    noteMachine(plan, i);
  }
  return plan;
}

std::vector<std::string> gateFailures(const FleetPlan& plan, const FleetGate& gate) {
  std::vector<std::string> failures;
  std::string unexpected = unexpectedCodes(plan, gate.expected);
  if (!unexpected.empty()) failures.push_back(unexpected);
  std::size_t unplanned = plan.unreadable.size() + plan.needInstalledVersion.size();
  if (unplanned > static_cast<std::size_t>(gate.allowUnreadable)) {
    failures.push_back(plural(plan.unreadable.size(), "unreadable", "unreadable") + " and " +
                       plural(plan.needInstalledVersion.size(), "machine", "machines") +
                       " needing the installed version, more than --allow-unreadable admits (" +
                       std::to_string(gate.allowUnreadable) + ")");
  }
  if (plan.counts.empty()) failures.push_back("no machine was planned");
  if (plan.signature == SignatureOutcome::notCheckable) {
    failures.push_back(
        "this build cannot check the signature of Intel's tool: gate with the Windows mefwkit, "
        "or give --no-signature-check");
  }
  return failures;
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

std::string shownText(const std::string& text) {
  static const char hex[] = "0123456789abcdef";
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    // C1 controls arrive as UTF-8 (C2 80 to C2 9F), and some terminals obey them as well.
    bool c1 = c == 0xC2 && i + 1 < text.size() &&
              (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c >= 0x20 && c != 0x7F && !c1) {
      shown += static_cast<char>(c);
      continue;
    }
    if (c1) c = static_cast<unsigned char>(text[++i]);
    shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : "";
    if (c != '\n' && c != '\r' && c != '\t') {
      shown += std::string(c1 ? "\\u00" : "\\x") + hex[c >> 4] + hex[c & 15];
    }
  }
  return shown;
}
