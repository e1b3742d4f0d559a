// Appending records to the mailboxes below an output folder, safely.
//
// Mailboxes are shared files: another run, a mail program delivering into them or a reader
// may use them at the same time, and a run may be cut short at any moment. So, as mail
// delivery programs do on Linux:
//   - while a record is appended, the mailbox is locked twice: a lock file NAME.mbox.lock
//     beside it (created exclusively, holding the writer's process number) and an fcntl lock
//     on the file itself. Locks held by other programs are waited for, up to a time limit; a
//     lock file whose holder is gone is broken;
//   - a record that fails or is interrupted is cut off again, and only its own bytes: the
//     length to go back to is taken under the locks;
//   - the lock file also says where the record being written began, so when a run dies in
//     the middle of a record, the next append finds the unfinished record and cuts it off;
//   - folders below the output folder are created and entered, and mailboxes opened, without
//     following links, and a mailbox must be a plain file;
//   - new folders are private (0700) and so are new mailboxes (0600).
// A mailbox stays open and locked while consecutive records go to it, for a short while.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"
#include "MailboxMapping.h"
#include "MboxRecord.h"
#include "registry.h"

namespace tolvik {

class MessageFile;

struct LockTimes {
    // How long a record waits for a mailbox that another program keeps locked.
    std::chrono::milliseconds wait{20000};
    // The same, for a mailbox whose lock could not be had earlier in the same run.
    std::chrono::milliseconds waitAgain{1000};
    // A lock file that has not changed for this long is taken to be left behind and is
    // broken, as mail delivery programs do, when its holder cannot be asked directly.
    std::chrono::seconds staleAfter{300};
    // The longest a mailbox is kept locked across consecutive records; then it is let go
    // for a moment, so that other programs waiting for it get their turn.
    std::chrono::milliseconds holdFor{1000};
};

// An unfinished record, left at the end of a mailbox by a run that was killed, and cut off
// before the next record was appended.
struct MailboxRepair {
    std::string mailboxPath;
    long long removedBytes = 0;
};

enum class AppendResult { Appended, Failed, Interrupted };

class MailboxWriter {
public:
    // `outputFolder` ends with a separator; it may itself be a link.
    explicit MailboxWriter(std::string outputFolder, LockTimes times = {},
                           PathStyle style = kNativeStyle);
    ~MailboxWriter();
    MailboxWriter(const MailboxWriter&) = delete;
    MailboxWriter& operator=(const MailboxWriter&) = delete;

    // Appends the record of `message` (the separator line, then the message's lines) to the
    // mailbox of `target`, creating its folders and the mailbox as needed. Whole or not at
    // all: on failure (`failure` says why) or when `interrupted` returns true part-way, the
    // mailbox is put back as it was.
    AppendResult Append(const MailboxTarget& target, std::string_view separatorLine,
                        MessageFile& message, Failure* failure,
                        const std::function<bool()>& interrupted = {},
                        std::size_t bufferSize = kDefaultRecordBuffer);

    // Unlocks and closes the mailbox kept open, if any.
    void Release();

    // Releases, then has everything appended so far written to the disk. False, with
    // `failure`, when the system reports that something could not be written.
    bool Save(Failure* failure);

    // Called as soon as an unfinished record has been cut off a mailbox.
    std::function<void(const MailboxRepair&)> onRepair;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Appends the record of the message file at `messagePath` to the mailbox file, creating the
// mailbox when it is missing, locked and safe as a run appends (see MailboxWriter). The
// record is appended whole or not at all: when reading the message or writing the mailbox
// fails part-way, the mailbox is cut back to its length before the record (and a mailbox
// this call created is removed). Reads and writes in pieces of `bufferSize` bytes, so a
// message of any size costs only that much memory. On failure returns false and sets
// `reason` to a plain-words account.
bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  const std::string& messagePath, std::string* reason,
                  std::size_t bufferSize = kDefaultRecordBuffer);
// The same for a message file already open: the bytes read from it so far come first.
bool AppendRecord(const std::string& mailboxPath, std::string_view separatorLine,
                  MessageFile& message, std::string* reason,
                  std::size_t bufferSize = kDefaultRecordBuffer);

}  // namespace tolvik
