#include "regex_reference.h"

#include <map>
#include <regex>

namespace {

// The program's expressions come back on every run; compiling std::regex is slow.
const std::regex& cachedRegex(const std::string& expression) {
  static std::map<std::string, std::regex> cache;
  auto found = cache.find(expression);
  if (found == cache.end()) {
    std::regex regex(expression);
    if (cache.size() > 64) cache.clear();
    found = cache.emplace(expression, std::move(regex)).first;
  }
  return found->second;
}

}  // namespace

std::optional<std::string> referenceOutcome(const std::string& expression,
                                            const std::string& text) {
  std::smatch match;
  bool found = false;
  try {
    found = std::regex_search(text, match, cachedRegex(expression));
  } catch (const std::regex_error&) {
    return std::nullopt;
  }
  if (!found) return "none";
  std::string outcome = "found";
  for (std::size_t i = 0; i < match.size(); ++i) {
    outcome += " " + std::to_string(i) + ":";
    if (match[i].matched) {
      outcome += std::to_string(match[i].first - text.begin()) + "-" +
                 std::to_string(match[i].second - text.begin());
    } else {
      outcome += "unmatched";
    }
  }
  return outcome;
}

std::optional<std::vector<std::string>> referenceGroups(const std::string& expression,
                                                        const std::string& text) {
  std::smatch match;
  if (!std::regex_search(text, match, cachedRegex(expression))) return std::nullopt;
  std::vector<std::string> groups;
  for (std::size_t i = 0; i < match.size(); ++i) {
    groups.push_back(match[i].str());
  }
  return groups;
}

std::optional<std::string> referenceGroup(const std::string& expression, const std::string& text,
                                          std::size_t group) {
  std::optional<std::vector<std::string>> groups = referenceGroups(expression, text);
  if (!groups) return std::nullopt;
  return (*groups)[group];
}
