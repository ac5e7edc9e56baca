#include "mefwkit/kit_output.h"

#include <vector>

#include "app/product_version.h"
#include "console/json_text.h"
#include "profiles/platform_decoder.h"

namespace {

// The version of the JSON shape: it changes only when a member changes its meaning or goes.
const char* const jsonSchemaVersion = "1";

// Every object the kit tool prints starts with the shape's version and the tool's.
std::string documentJson(std::vector<std::pair<std::string, std::string>> members) {
  members.insert(members.begin(), {{"schema", jsonSchemaVersion},
                                   {"toolVersion", jsonString(MEFW_PRODUCT_VERSION)}});
  return jsonObject(members) + "\n";
}

struct SeverityCounts {
  int errors = 0;
  int warnings = 0;
  int notes = 0;
};

SeverityCounts countSeverities(const KitReport& report) {
  SeverityCounts counts;
  for (const KitProblem& problem : report.problems) {
    if (problem.severity == Severity::error) ++counts.errors;
    if (problem.severity == Severity::warning) ++counts.warnings;
    if (problem.severity == Severity::note) ++counts.notes;
  }
  return counts;
}

std::string problemLine(const KitProblem& problem) {
  std::string where = problem.line > 0 ? "input.txt:" + std::to_string(problem.line) : "Kitbox";
  std::string code = problem.code.empty() ? "" : " " + problem.code;
  return where + ": " + severityName(problem.severity) + code + ": " + problem.message + "\n";
}

std::string countText(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string summaryLine(const KitReport& report) {
  SeverityCounts counts = countSeverities(report);
  return countText(counts.errors, "error", "errors") + ", " +
         countText(counts.warnings, "warning", "warnings") + ", " +
         countText(counts.notes, "note", "notes") + "; " +
         countText(static_cast<int>(report.profiles.size()), "profile", "profiles") + ".\n";
}

std::string platformsJson(const InputProfile& profile) {
  std::vector<std::string> items;
  for (const std::string& platform : profile.getSupportedPlatforms()) {
    items.push_back(jsonObject({{"id", jsonString(platform)},
                                {"family", jsonString(decodePlatform(platform).value_or(""))}}));
  }
  return jsonArray(items);
}

std::string profileJson(const KitProfile& kit, std::size_t index) {
  const InputProfile& profile = kit.profile;
  return jsonObject({{"index", std::to_string(index)},
                     {"line", jsonLineOrNull(kit.line)},
                     {"firmwareFile", jsonString(profile.meFirmwareFile)},
                     {"firmwareVersion", jsonString(profile.firmwareVersion)},
                     {"platforms", platformsJson(profile)},
                     {"prereqBios", jsonStringOrNull(profile.getPrereqBios())},
                     {"upfrontMessage", jsonStringOrNull(profile.getUpfrontMessage())},
                     {"imagePresent", kit.imagePresent ? "true" : "false"}});
}

std::string problemJson(const KitProblem& problem) {
  return jsonObject({{"severity", jsonString(severityName(problem.severity))},
                     {"line", jsonLineOrNull(problem.line)},
                     {"code", jsonStringOrNull(problem.code)},
                     {"message", jsonString(problem.message)}});
}

const char* unforeseenCause(int code) {
  switch (code) {
    case 2015:
      return "another update running";
    case 2019:
      return "one-instance guard blocked";
    case 2018:
      return "tool not signed by Intel";
    case 2020:
      return "tool or image not copied to the private folder";
    case 4000:
      return "tool error reading the version";
    case 2001:
    case 2003:
      return "version stamp not written";
    case 2016:
      return "on battery";
    case 4001:
      return "tool error during the update";
    case 3002:
      return "update waiting for a restart";
    case 2013:
      return "update not completed";
    default:
      return "unforeseen";
  }
}

std::string planLine(const char* name, const std::string& value) {
  std::string label = std::string(name) + ":";
  label.resize(16, ' ');
  return label + (value.empty() ? "(not reached)" : value) + "\n";
}

// The outcomes the plan cannot foresee, with what each stands for.
std::string mayAlsoEndText(const KitPlan& plan) {
  std::string text;
  for (int code : plan.mayAlsoEndWith) {
    text += (text.empty() ? "" : ", ") + std::to_string(code) + " (" + unforeseenCause(code) + ")";
  }
  return text.empty() ? "-" : text;
}

std::string profileText(const KitPlan& plan) {
  if (plan.profileIndex < 0) return "";
  return std::to_string(plan.profileIndex) + " (" + plan.profile.meFirmwareFile + ")";
}

}  // namespace

std::string checkReportText(const KitReport& report) {
  std::string text;
  for (const KitProblem& problem : report.problems) {
    text += problemLine(problem);
  }
  return text + summaryLine(report);
}

std::string checkReportJson(const KitReport& report) {
  std::vector<std::string> profiles;
  for (std::size_t i = 0; i < report.profiles.size(); ++i) {
    profiles.push_back(profileJson(report.profiles[i], i));
  }
  std::vector<std::string> problems;
  for (const KitProblem& problem : report.problems) {
    problems.push_back(problemJson(problem));
  }
  SeverityCounts counts = countSeverities(report);
  std::string summary = jsonObject({{"errors", std::to_string(counts.errors)},
                                    {"warnings", std::to_string(counts.warnings)},
                                    {"notes", std::to_string(counts.notes)},
                                    {"profiles", std::to_string(report.profiles.size())}});
  return documentJson(
      {{"summary", summary}, {"profiles", jsonArray(profiles)}, {"problems", jsonArray(problems)}});
}

std::string planText(const KitPlan& plan) {
  std::string exitCode = plan.needsInstalledVersion ? "needs the installed version (--me)"
                                                    : std::to_string(plan.exitCode);
  std::string end = plan.message;
  if (plan.needsInstalledVersion) {
    end = "asking Intel's tool for the installed version, which decides the rest";
  } else if (end.empty()) {
    end = "the update; a restart makes the new firmware effective";
  }
  return planLine("BIOS version", plan.biosVersion) + planLine("BIOS family", plan.biosFamily) +
         planLine("Profile", profileText(plan)) + planLine("Prerequisite", plan.prerequisite) +
         planLine("Signature", plan.signature) + planLine("Comparison", plan.comparison) +
         planLine("Command line", plan.commandLine) + planLine("Exit code", exitCode) +
         planLine("Ends with", end) + planLine("May also end", mayAlsoEndText(plan)) +
         (plan.joinedDigits ? planLine("Note", joinedDigitsText(*plan.joinedDigits)) : "");
}

std::string planJson(const KitPlan& plan) {
  std::string profile = "null";
  if (plan.profileIndex >= 0) {
    profile = jsonObject({{"index", std::to_string(plan.profileIndex)},
                          {"firmwareFile", jsonString(plan.profile.meFirmwareFile)},
                          {"firmwareVersion", jsonString(plan.profile.firmwareVersion)}});
  }
  std::vector<std::string> unforeseen;
  for (int code : plan.mayAlsoEndWith) {
    unforeseen.push_back(std::to_string(code));
  }
  std::string joined = "null";
  if (plan.joinedDigits) {
    joined = jsonObject({{"prereqBios", jsonString(plan.joinedDigits->prereqBios)},
                         {"biosNumber", std::to_string(plan.joinedDigits->biosNumber)},
                         {"prereqNumber", std::to_string(plan.joinedDigits->prereqNumber)}});
  }
  bool needs = plan.needsInstalledVersion;
  return documentJson({{"biosVersion", jsonStringOrNull(plan.biosVersion)},
                       {"biosFamily", jsonStringOrNull(plan.biosFamily)},
                       {"profile", profile},
                       {"installedVersion", jsonStringOrNull(plan.installedVersion)},
                       {"prerequisite", jsonStringOrNull(plan.prerequisite)},
                       {"signature", jsonStringOrNull(plan.signature)},
                       {"comparison", jsonStringOrNull(plan.comparison)},
                       {"commandLine", jsonStringOrNull(plan.commandLine)},
                       {"exitCode", needs ? "null" : std::to_string(plan.exitCode)},
                       {"needs", needs ? jsonString("installedVersion") : "null"},
                       {"code", jsonStringOrNull(plan.code)},
                       {"message", jsonStringOrNull(plan.message)},
                       {"joinedDigits", joined},
                       {"mayAlsoEndWith", jsonArray(unforeseen)}});
}

std::string joinedDigitsText(const JoinedDigits& joined) {
  return "prereqBios " + joined.prereqBios +
         " and the BIOS version have different numbers of digit groups; the check joins the "
         "digits of each into one number and compares " +
         std::to_string(joined.biosNumber) + " (BIOS) with " + std::to_string(joined.prereqNumber) +
         " (prereqBios)";
}

std::string failureJson(const std::string& complaint) {
  return documentJson({{"error", jsonString(complaint)}});
}
