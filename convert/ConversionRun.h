// The conversion run: every listed message file, in list order, appended as one record to
// the mailbox of its mirrored folder beneath the output folder.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "MailboxWriter.h"
#include "registry.h"

namespace tolvik {

// What the run needs from whoever drives it (the window, the command-line tool, a test).
class RunHost {
public:
    virtual ~RunHost() = default;
    // Lets the host handle its events between the steps of a row.
    virtual void Yield() {}
    // Asked before each row: true ends the run there, after the record last written.
    virtual bool StopRequested() { return false; }
    // Asked also while a record is written or a lock waited for: true ends the run at once,
    // and the record in progress is taken off its mailbox again.
    virtual bool InterruptRequested() { return false; }
    // Row `row` is about to be converted.
    virtual void RowStarted(int /*row*/) {}
    // Row `row` could not be converted; the run goes on with the next row.
    virtual void RowFailed(int /*row*/, const std::string& /*path*/, const Failure& /*failure*/) {}
    // An unfinished record that a killed run had left was cut off a mailbox.
    virtual void MailboxRepaired(const MailboxRepair& /*repair*/) {}
    // Row `row` is done, converted or failed; `percent` is 100 * (row + 1) / rowCount. For
    // the last row this comes once everything the run wrote is on the disk.
    virtual void RowFinished(int /*row*/, int /*rowCount*/, float /*percent*/) {}
};

struct RowFailure {
    std::string path;  // the row's text
    Failure failure;
};

struct RunSummary {
    int rowCount = 0;
    int converted = 0;
    std::vector<RowFailure> failures;
    int mailboxesWritten = 0;  // distinct mailbox files that received a record
    bool stopped = false;      // the host asked the run to stop before the last row
    bool interrupted = false;  // ... in the middle of a row, whose record was not kept
    std::vector<MailboxRepair> repairs;
    // What was written could not all be saved to the disk.
    std::optional<Failure> saveFailure;
};

class ConversionRun {
public:
    // `outputFolder` is taken with exactly one trailing separator added when it has none.
    ConversionRun(const std::string& outputFolder, RunHost& host, PathStyle style = kNativeStyle,
                  LockTimes lockTimes = {});
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // Converts rows 0 .. rowCount - 1; `rowText` gives the listed path of a row. Before it
    // returns, everything it wrote is on the disk.
    RunSummary Run(int rowCount, const std::function<std::string(int)>& rowText);

private:
    class SourceFolder;
    AppendResult ConvertRow(const std::string& rowText, MailboxWriter& writer, SourceFolder& folder,
                            std::string* mailboxPath, Failure* failure);

    std::string outputFolder_;
    RunHost& host_;
    PathStyle style_;
    LockTimes lockTimes_;
};

// The progress value after `done` of `total` rows, as the progress bar keeps it.
inline float ProgressPercent(int done, int total) {
    return static_cast<float>(100.0 * done / total);
}

}  // namespace tolvik
