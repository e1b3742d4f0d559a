// The text that tells a user what went wrong in a run.
#pragma once

#include <string>

#include "ConversionRun.h"
#include "Failure.h"

namespace tolvik {

inline constexpr int kReportedFailures = 10;

// Empty when every row was converted. Otherwise: how many of how many messages could not be
// converted, up to ten of them as path and reason, then how many more. `showPath` turns a
// path into the text a user reads; each path is turned on its own.
std::string FailureReportText(const RunSummary& summary, const ShowPath& showPath = AsBytes);

// One line for a mailbox that had an unfinished record cut off.
std::string RepairText(const MailboxRepair& repair, const ShowPath& showPath = AsBytes);

// Everything the user is told after a run: the rows that failed, the mailboxes that were
// repaired, and a failure to save to the disk. Empty when there is nothing to tell.
std::string RunReportText(const RunSummary& summary, const ShowPath& showPath = AsBytes);

}  // namespace tolvik
