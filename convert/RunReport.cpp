#include "RunReport.h"

namespace tolvik {

std::string FailureReportText(const RunSummary& summary, const ShowPath& showPath) {
    const int failed = static_cast<int>(summary.failures.size());
    if (failed == 0) {
        return {};
    }
    std::string text = std::to_string(failed) + " of " + std::to_string(summary.rowCount) +
                       (summary.rowCount == 1 ? " message" : " messages") +
                       " could not be converted. Their mailboxes were left as they were.\n";
    for (int i = 0; i < failed && i < kReportedFailures; ++i) {
        const RowFailure& row = summary.failures[static_cast<std::size_t>(i)];
        text += "\n" + showPath(row.path) + ": " + Describe(row.failure, showPath);
    }
    if (failed > kReportedFailures) {
        text += "\n\n... and " + std::to_string(failed - kReportedFailures) + " more.";
    }
    return text;
}

std::string RepairText(const MailboxRepair& repair, const ShowPath& showPath) {
    return showPath(repair.mailboxPath) + ": removed an unfinished record of " +
           std::to_string(repair.removedBytes) + (repair.removedBytes == 1 ? " byte" : " bytes") +
           " that an interrupted run had left at its end";
}

std::string RunReportText(const RunSummary& summary, const ShowPath& showPath) {
    std::string text = FailureReportText(summary, showPath);
    auto paragraph = [&text](const std::string& more) {
        if (!text.empty()) {
            text += "\n\n";
        }
        text += more;
    };
    for (const MailboxRepair& repair : summary.repairs) {
        paragraph(RepairText(repair, showPath) + ".");
    }
    if (summary.saveFailure) {
        paragraph(Describe(*summary.saveFailure, showPath) + ".");
    }
    return text;
}

}  // namespace tolvik
