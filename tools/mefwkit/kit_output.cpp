#include "mefwkit/kit_output.h"

#include <vector>

#include "console/json_text.h"
#include "profiles/platform_decoder.h"

namespace {

std::string problemLine(const KitProblem& problem) {
  std::string where = problem.line > 0 ? "input.txt:" + std::to_string(problem.line) : "Kitbox";
  std::string code = problem.code.empty() ? "" : " " + problem.code;
  return where + ": " + severityName(problem.severity) + code + ": " + problem.message + "\n";
}

std::string countText(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string summaryLine(const KitReport& report) {
  int counts[3] = {0, 0, 0};
  for (const KitProblem& problem : report.problems) {
    ++counts[static_cast<int>(problem.severity)];
  }
  return countText(counts[0], "error", "errors") + ", " +
         countText(counts[1], "warning", "warnings") + ", " +
         countText(counts[2], "note", "notes") + "; " +
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

std::string planLine(const char* name, const std::string& value) {
  std::string label = std::string(name) + ":";
  label.resize(16, ' ');
  return label + (value.empty() ? "(not reached)" : value) + "\n";
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
  return jsonObject({{"profiles", jsonArray(profiles)}, {"problems", jsonArray(problems)}}) + "\n";
}

std::string planText(const KitPlan& plan) {
  return planLine("BIOS version", plan.biosVersion) + planLine("BIOS family", plan.biosFamily) +
         planLine("Profile", profileText(plan)) + planLine("Prerequisite", plan.prerequisite) +
         planLine("Comparison", plan.comparison) + planLine("Command line", plan.commandLine) +
         planLine("Exit code", std::to_string(plan.exitCode)) +
         planLine("Ends with", plan.message.empty()
                                   ? "the update; a restart makes the new firmware effective"
                                   : plan.message);
}

std::string planJson(const KitPlan& plan) {
  std::string profile = "null";
  if (plan.profileIndex >= 0) {
    profile = jsonObject({{"index", std::to_string(plan.profileIndex)},
                          {"firmwareFile", jsonString(plan.profile.meFirmwareFile)},
                          {"firmwareVersion", jsonString(plan.profile.firmwareVersion)}});
  }
  return jsonObject({{"biosVersion", jsonStringOrNull(plan.biosVersion)},
                     {"biosFamily", jsonStringOrNull(plan.biosFamily)},
                     {"profile", profile},
                     {"prerequisite", jsonStringOrNull(plan.prerequisite)},
                     {"comparison", jsonStringOrNull(plan.comparison)},
                     {"commandLine", jsonStringOrNull(plan.commandLine)},
                     {"exitCode", std::to_string(plan.exitCode)},
                     {"message", jsonStringOrNull(plan.message)}}) +
         "\n";
}
