#include "ConversionRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// The folder of the messages being converted, kept open while consecutive rows come from it,
// so that each message is opened by its name in it.
class ConversionRun::SourceFolder {
public:
    explicit SourceFolder(PathStyle style) : style_(style) {}
    ~SourceFolder() { Close(); }
    SourceFolder(const SourceFolder&) = delete;
    SourceFolder& operator=(const SourceFolder&) = delete;

    bool Open(MessageFile& message, const std::string& source) {
        const std::string folder = FolderOfPath(source, style_);
        if (style_ == kNativeStyle && !folder.empty() && folder != path_) {
            Close();
            path_ = folder;
            // Only to look names up in, so a folder that may be entered but not listed will do.
            fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        if (folder.empty() || folder != path_ || fd_ < 0) {
            return message.Open(source, nullptr);
        }
        return message.OpenIn(fd_, source.c_str() + folder.size(), nullptr);
    }

private:
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    PathStyle style_;
    std::string path_;
    int fd_ = -1;
};

ConversionRun::ConversionRun(const std::string& outputFolder, RunHost& host, PathStyle style,
                             LockTimes lockTimes)
    : outputFolder_(WithTrailingSeparator(outputFolder, style)),
      host_(host),
      style_(style),
      lockTimes_(lockTimes) {}

AppendResult ConversionRun::ConvertRow(const std::string& rowText, MailboxWriter& writer,
                                       SourceFolder& folder, std::string* mailboxPath,
                                       Failure* failure) {
    const std::string source = SourcePathOf(rowText);
    if (source.empty()) {
        *failure = Failure::Of(Stage::ListRow, Problem::NoFileName);
        return AppendResult::Failed;
    }
    const MailboxTarget target = MailboxFor(source, outputFolder_, style_);
    host_.Yield();
    *mailboxPath = target.mailboxPath;
    host_.Yield();

    // The message is opened once: the reader takes its header block, and the record is
    // written on from the bytes already read.
    MessageFile message;
    std::string separator;
    {
        MessageReader reader;
        if (!folder.Open(message, source) || !reader.LoadMessage(message)) {
            *failure = Failure::System(Stage::ReadMessage, message.Error(), source);
            return AppendResult::Failed;
        }
        separator = SeparatorLine(reader.MessageSender(), FormatMboxDate(reader.MessageDate()));
    }
    host_.Yield();
    const AppendResult result = writer.Append(target, separator, message, failure,
                                              [this] { return host_.InterruptRequested(); });
    if (result == AppendResult::Appended) {
        host_.Yield();
    }
    return result;
}

RunSummary ConversionRun::Run(int rowCount, const std::function<std::string(int)>& rowText) {
    RunSummary summary;
    summary.rowCount = rowCount;
    if (rowCount > 0) {
        EnsureDirectoryPath(outputFolder_);  // should it have gone since it was chosen
    }
    MailboxWriter writer(outputFolder_, lockTimes_, style_);
    writer.onRepair = [&](const MailboxRepair& repair) {
        summary.repairs.push_back(repair);
        host_.MailboxRepaired(repair);
    };
    SourceFolder folder(style_);
    std::unordered_set<std::string> mailboxes;
    std::string lastMailbox;
    for (int row = 0; row < rowCount; ++row) {
        if (host_.StopRequested() || host_.InterruptRequested()) {
            summary.stopped = true;
            break;
        }
        host_.RowStarted(row);
        host_.Yield();
        const std::string text = rowText(row);
        std::string mailbox;
        Failure failure;
        const AppendResult result = ConvertRow(text, writer, folder, &mailbox, &failure);
        if (result == AppendResult::Interrupted) {
            summary.stopped = true;
            summary.interrupted = true;
            break;
        }
        if (result == AppendResult::Appended) {
            ++summary.converted;
            if (mailbox != lastMailbox) {  // consecutive rows mostly share their mailbox
                mailboxes.insert(mailbox);
                lastMailbox = std::move(mailbox);
            }
        } else {
            summary.failures.push_back({text, failure});
            host_.RowFailed(row, text, failure);
        }
        if (row + 1 < rowCount) {
            host_.RowFinished(row, rowCount, ProgressPercent(row + 1, rowCount));
        }
    }
    summary.mailboxesWritten = static_cast<int>(mailboxes.size());
    Failure saveFailure;
    if (!writer.Save(&saveFailure)) {
        summary.saveFailure = saveFailure;
    }
    // The full bar says that the run is done: it shows once everything is on the disk.
    if (!summary.stopped && rowCount > 0) {
        host_.RowFinished(rowCount - 1, rowCount, ProgressPercent(rowCount, rowCount));
    }
    return summary;
}

}  // namespace tolvik
