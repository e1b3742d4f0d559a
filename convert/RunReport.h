// The text that tells a user which messages a run could not convert.
#pragma once

#include <functional>
#include <string>

#include "ConversionRun.h"

namespace tolvik {

inline constexpr int kReportedFailures = 10;

// Empty when every row was converted. Otherwise: how many of how many messages could not be
// converted, up to ten of them as path and reason, then how many more. `showPath` turns a
// listed path into the text a user reads.
std::string FailureReportText(
    const RunSummary& summary, const std::function<std::string(const std::string&)>& showPath =
                                   [](const std::string& path) { return path; });

}  // namespace tolvik
