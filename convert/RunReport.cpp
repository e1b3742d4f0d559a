#include "RunReport.h"

namespace tolvik {

std::string FailureReportText(const RunSummary& summary,
                              const std::function<std::string(const std::string&)>& showPath) {
    const int failed = static_cast<int>(summary.failures.size());
    if (failed == 0) {
        return {};
    }
    std::string text = std::to_string(failed) + " of " + std::to_string(summary.rowCount) +
                       (summary.rowCount == 1 ? " message" : " messages") +
                       " could not be converted. Their mailboxes were left as they were.\n";
    for (int i = 0; i < failed && i < kReportedFailures; ++i) {
        const RowFailure& failure = summary.failures[static_cast<std::size_t>(i)];
        text += "\n" + showPath(failure.path) + ": " + failure.reason;
    }
    if (failed > kReportedFailures) {
        text += "\n\n... and " + std::to_string(failed - kReportedFailures) + " more.";
    }
    return text;
}

}  // namespace tolvik
