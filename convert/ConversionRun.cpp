#include "ConversionRun.h"

#include <sys/stat.h>
#include <unordered_set>

#include "MailboxMapping.h"
#include "MboxRecord.h"
#include "MessageFile.h"
#include "MessageReader.h"
#include "modMain.h"

namespace tolvik {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The listed text names the file. Only when it names nothing is it taken without the blanks
// around it, so a file whose name really starts or ends with a blank is still found.
std::string SourcePathOf(const std::string& rowText) {
    if (rowText.empty() || (rowText.front() != ' ' && rowText.back() != ' ') || Exists(rowText)) {
        return rowText;  // (without blanks around it, there is nothing to take away)
    }
    const auto first = rowText.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return rowText.substr(first, rowText.find_last_not_of(' ') - first + 1);
}

}  // namespace

ConversionRun::ConversionRun(const std::string& outputFolder, RunHost& host, PathStyle style)
    : outputFolder_(WithTrailingSeparator(outputFolder, style)), host_(host), style_(style) {}

bool ConversionRun::ConvertRow(const std::string& rowText, std::string* mailboxPath,
                               std::string* reason) {
    const std::string source = SourcePathOf(rowText);
    if (source.empty()) {
        *reason = "the list row holds no file name";
        return false;
    }
    const MailboxTarget target = MailboxFor(source, outputFolder_, style_);
    std::string why;
    if (!EnsureDirectoryPath(target.mirroredFolder, &why)) {
        *reason = "could not create the folder " + target.mirroredFolder + ": " + why;
        return false;
    }
    host_.Yield();
    *mailboxPath = target.mailboxPath;
    host_.Yield();

    // The message is opened once: the reader takes its header block, and the record is
    // written on from the bytes already read.
    MessageFile message;
    std::string separator;
    {
        MessageReader reader;
        if (!message.Open(source, &why) || !reader.LoadMessage(message, &why)) {
            *reason = "could not read the message: " + why;
            return false;
        }
        separator = SeparatorLine(reader.MessageSender(), FormatMboxDate(reader.MessageDate()));
    }
    host_.Yield();
    if (!AppendRecord(target.mailboxPath, separator, message, reason)) {
        return false;
    }
    host_.Yield();
    return true;
}

RunSummary ConversionRun::Run(int rowCount, const std::function<std::string(int)>& rowText) {
    RunSummary summary;
    summary.rowCount = rowCount;
    std::unordered_set<std::string> mailboxes;
    for (int row = 0; row < rowCount; ++row) {
        if (host_.StopRequested()) {
            summary.stopped = true;
            break;
        }
        host_.RowStarted(row);
        host_.Yield();
        const std::string text = rowText(row);
        std::string mailbox;
        std::string reason;
        if (ConvertRow(text, &mailbox, &reason)) {
            ++summary.converted;
            mailboxes.insert(mailbox);
        } else {
            summary.failures.push_back({text, reason});
            host_.RowFailed(row, text, reason);
        }
        host_.RowFinished(row, rowCount, ProgressPercent(row + 1, rowCount));
    }
    summary.mailboxesWritten = static_cast<int>(mailboxes.size());
    return summary;
}

}  // namespace tolvik
