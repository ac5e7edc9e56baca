// The kit tool's two forms of output: lines for people, one JSON object for scripts. The JSON
// shape is relied on by other tooling: every object carries "schema" (raise it when a member
// changes its meaning or goes) and "toolVersion"; keep member names and types.
#pragma once

#include <string>

#include "mefwkit/kit_check.h"
#include "mefwkit/kit_plan.h"

std::string checkReportText(const KitReport& report);
std::string checkReportJson(const KitReport& report);

std::string planText(const KitPlan& plan);
std::string planJson(const KitPlan& plan);

// What a prerequisite compared by joining digits became, in one sentence without its end.
std::string joinedDigitsText(const JoinedDigits& joined);

// The object written under --json when the tool cannot do what it was asked.
std::string failureJson(const std::string& complaint);
