// Mailboxes shared with other programs and with runs that end badly: two runs appending to
// one mailbox, locks held by other programs, lock files left behind, links and special files
// below the output folder, interrupted and killed runs, mailboxes that another program left
// without a closing empty line, the modes of what a run creates, and the true reason of a
// failure on a read-only disk, a disk without free inodes and a folder the user may not write.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "MailboxWriter.h"
#include "RunReport.h"
#include "TestFiles.h"
#include "modMain.h"

using namespace tolvik;

namespace {

constexpr LockTimes kShortWait{.wait = std::chrono::milliseconds(300),
                               .waitAgain = std::chrono::milliseconds(100),
                               .staleAfter = std::chrono::seconds(60),
                               .holdFor = std::chrono::milliseconds(1000)};

QByteArray Message(const QByteArray& sender, const QByteArray& body) {
    return "From: " + sender + "\r\nDate: Fri, 5 Mar 2010 09:07:03 +0000\r\nSubject: " + sender +
           "\r\n\r\n" + body + "\r\n";
}

// A message of `size` bytes whose body has every kind of line end and "From " lines.
QByteArray LargeMessage(const QByteArray& sender, qsizetype size) {
    QByteArray body;
    body.reserve(size);
    const char* const ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; body.size() < size; ++i) {
        body += (i % 7 == 0) ? "From the body " : "line ";
        body += QByteArray::number(i) + QByteArray(i % 53, 'x') + ends[i % 3];
    }
    return Message(sender, body);
}

struct RecordingHost : RunHost {
    std::vector<MailboxRepair> repairs;
    std::function<bool()> interrupt;
    std::function<void(int)> finished;
    bool InterruptRequested() override { return interrupt && interrupt(); }
    void MailboxRepaired(const MailboxRepair& repair) override { repairs.push_back(repair); }
    void RowFinished(int row, int, float) override {
        if (finished) {
            finished(row);
        }
    }
};

RunSummary Convert(const QString& out, const QStringList& rows, RunHost& host,
                   LockTimes times = kShortWait) {
    ConversionRun run(out.toStdString(), host, kNativeStyle, times);
    return run.Run(static_cast<int>(rows.size()), [&](int row) { return rows[row].toStdString(); });
}

QString Reasons(const RunSummary& summary) {
    return QString::fromStdString(FailureReportText(summary));
}

// The record a message gets on its own: converted alone into a mailbox of its own.
QByteArray RecordOf(const QString& message) {
    QTemporaryDir scratch;
    RunHost host;
    ConversionRun run(scratch.path().toStdString(), host);
    const RunSummary summary = run.Run(1, [&](int) { return message.toStdString(); });
    if (summary.converted != 1) {
        return "<not converted>";
    }
    const QString folder = QFileInfo(message).absolutePath();
    return ReadAll(scratch.path() + folder + "/" + QFileInfo(folder).fileName() + ".mbox");
}

// Runs `work` in a child process; returns its exit status (or 128 + the signal that ended it).
pid_t Start(const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(work());
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A child process that holds an fcntl lock on `path` until it is killed (or, with
// `holdForMs`, lets it go after that long and ends).
pid_t HoldFcntlLock(const QString& path, int holdForMs = -1) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t pid = Start([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fd < 0 || ::fcntl(fd, F_SETLKW, &lock) != 0) {
            return 1;
        }
        (void)!::write(ready[1], "L", 1);
        if (holdForMs >= 0) {
            ::usleep(static_cast<useconds_t>(holdForMs) * 1000);
            return 0;
        }
        for (;;) {
            ::pause();
        }
    });
    ::close(ready[1]);
    char byte = 0;
    const bool locked = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return locked ? pid : -1;
}

// A child process that sleeps until it is killed: a holder that is alive.
pid_t Sleeper() {
    return Start([] {
        for (;;) {
            ::pause();
        }
        return 0;
    });
}

// The number of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = Start([] { return 0; });
    Wait(pid);
    return pid;
}

void Stop(pid_t pid) {
    ::kill(pid, SIGKILL);
    Wait(pid);
}

// Where the mailbox of the messages in <root>/src/Inbox goes below `out`.
QString InboxMailbox(const QString& root, const QString& out) {
    return out + root + "/src/Inbox/Inbox.mbox";
}

const QByteArray kEarlier =
    "From earlier@example.org Thu Mar 04 08:00:00 2010\r\nSubject: earlier\r\n\r\nkept\r\n\r\n";

// The records of a mailbox, cut before each line that begins with "From " (the record writer
// quotes such lines inside a message, so each one starts a record).
QList<QByteArray> Records(const QByteArray& mailbox) {
    QList<QByteArray> records;
    qsizetype start = 0;
    for (qsizetype at = mailbox.indexOf("\nFrom "); at >= 0;
         at = mailbox.indexOf("\nFrom ", at + 1)) {
        records.append(mailbox.mid(start, at + 1 - start));
        start = at + 1;
    }
    if (start < mailbox.size()) {
        records.append(mailbox.mid(start));
    }
    return records;
}

}  // namespace

class MailboxSafetyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twoRunsOnOneMailboxLoseNothing() {
        // Two processes append to one mailbox at once. One of them fails part-way through a
        // record far larger than one write (a size limit); the other writes records larger
        // than one write too. The mailbox must then hold exactly the records both reported
        // as converted, each whole, and nothing of the failed one.
        QTemporaryDir dir;
        const QString src = dir.filePath("src/Inbox/");
        QStringList rowsA;
        QStringList rowsB;
        std::map<QByteArray, QByteArray> expected;  // separator line -> whole record
        for (int i = 0; i < 150; ++i) {
            for (const char* who : {"a", "b"}) {
                const QByteArray sender = who + QByteArray::number(i) + "@example.org";
                const QString path = src + sender + ".eml";
                WriteFile(path, Message(sender, "body of " + sender));
                (who[0] == 'a' ? rowsA : rowsB).append(path);
            }
        }
        for (int i = 0; i < 4; ++i) {
            const QByteArray sender = "big" + QByteArray::number(i) + "@example.org";
            WriteFile(src + sender + ".eml", LargeMessage(sender, 3 << 20));
            rowsB.insert(20 + i * 30, src + sender + ".eml");
        }
        WriteFile(src + "failing.eml", LargeMessage("failing@example.org", 80 << 20));
        rowsA.insert(10, src + "failing.eml");
        rowsA.insert(100, src + "failing.eml");
        for (const QString& row : rowsA + rowsB) {
            if (!row.endsWith("failing.eml")) {
                const QByteArray record = RecordOf(row);
                expected[record.left(record.indexOf("\r\n"))] = record;
            }
        }
        const QString out = dir.filePath("out");
        QVERIFY(QDir().mkpath(out));

        // Each child writes its counts into a pipe: converted, failed.
        int counts[2][2];
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            QVERIFY(::pipe(counts[c]) == 0);
            const QStringList& rows = c == 0 ? rowsA : rowsB;
            children[c] = Start([&, c] {
                if (c == 0) {
                    rlimit limit{64 << 20, 64 << 20};
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                }
                RunHost host;
                const RunSummary summary = Convert(out, rows, host, LockTimes{});
                const int numbers[2] = {summary.converted,
                                        static_cast<int>(summary.failures.size())};
                return ::write(counts[c][1], numbers, sizeof numbers) == sizeof numbers ? 0 : 1;
            });
            ::close(counts[c][1]);
        }
        int got[2][2] = {};
        for (int c = 0; c < 2; ++c) {
            QCOMPARE(::read(counts[c][0], got[c], sizeof got[c]), ssize_t(sizeof got[c]));
            ::close(counts[c][0]);
            QCOMPARE(Wait(children[c]), 0);
        }
        QCOMPARE(got[0][1], 2);                      // the failing record, both times
        QCOMPARE(got[0][0], int(rowsA.size()) - 2);  // all the others of the failing run
        QCOMPARE(got[1][0], int(rowsB.size()));
        QCOMPARE(got[1][1], 0);

        const QByteArray mailbox = ReadAll(InboxMailbox(dir.path(), out));
        const QList<QByteArray> records = Records(mailbox);
        QCOMPARE(records.size(), rowsA.size() - 2 + rowsB.size());
        std::map<QByteArray, int> seen;
        for (const QByteArray& record : records) {
            const QByteArray separator = record.left(record.indexOf("\r\n"));
            const auto it = expected.find(separator);
            QVERIFY2(it != expected.end(), separator.constData());
            QVERIFY2(it->second == record, separator.constData());
            QCOMPARE(++seen[separator], 1);
        }
        QVERIFY(!QFile::exists(InboxMailbox(dir.path(), out) + ".lock"));
    }

    void anotherProgramsLockIsWaitedForThenTheRowFails_data() {
        QTest::addColumn<QString>("holder");
        QTest::newRow("fcntl lock on the mailbox") << "fcntl";
        QTest::newRow("lock file with the number of a live process") << "live pid";
        QTest::newRow("lock file without a number, just made") << "no pid";
    }
    void anotherProgramsLockIsWaitedForThenTheRowFails() {
        QFETCH(QString, holder);
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/Inbox/a.eml"), Message("a@example.org", "new"));
        WriteFile(dir.filePath("src/Inbox/b.eml"), Message("b@example.org", "newer"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, kEarlier);
        const QString lockFile = mailbox + ".lock";
        pid_t process = -1;
        QByteArray lockText;
        if (holder == "fcntl") {
            process = HoldFcntlLock(mailbox);
            QVERIFY(process > 0);
        } else {
            if (holder == "live pid") {
                process = Sleeper();
                lockText = QByteArray::number(process) + "\n";
            }
            WriteFile(lockFile, lockText);
        }

        RunHost host;
        QElapsedTimer waited;
        waited.start();
        const QStringList rows = {dir.filePath("src/Inbox/a.eml"), dir.filePath("src/Inbox/b.eml")};
        const RunSummary summary = Convert(out, rows, host);
        QVERIFY2(waited.elapsed() >= kShortWait.wait.count(), "the row waited for the lock");
        QCOMPARE(summary.converted, 0);
        QCOMPARE(summary.failures.size(), std::size_t(2));
        QVERIFY2(Reasons(summary).contains(": could not write the mailbox " + mailbox +
                                           ": the mailbox is locked by another program"),
                 qPrintable(Reasons(summary)));
        QCOMPARE(ReadAll(mailbox), kEarlier);
        if (holder != "fcntl") {
            QCOMPARE(ReadAll(lockFile), lockText);  // another program's lock is not touched
        }

        // Once the lock is let go, the same rows go in.
        if (process > 0) {
            Stop(process);
        }
        QFile::remove(lockFile);
        const RunSummary again = Convert(out, rows, host);
        QCOMPARE(again.converted, 2);
        QCOMPARE(Records(ReadAll(mailbox)).size(), 3);
        QVERIFY(!QFile::exists(lockFile));
    }

    void aLockLetGoInTimeIsWaitedFor() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/Inbox/a.eml"), Message("a@example.org", "new"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, kEarlier);
        const pid_t process = HoldFcntlLock(mailbox, 300);
        QVERIFY(process > 0);
        RunHost host;
        const RunSummary summary = Convert(out, {dir.filePath("src/Inbox/a.eml")}, host,
                                           LockTimes{.wait = std::chrono::seconds(30)});
        QCOMPARE(Wait(process), 0);
        QCOMPARE(summary.converted, 1);
        QVERIFY(ReadAll(mailbox).startsWith(kEarlier + "From a@example.org "));
    }

    void aLockFileLeftBehindIsBroken_data() {
        QTest::addColumn<QByteArray>("lockText");
        QTest::addColumn<int>("ageSeconds");
        const QByteArray ended = QByteArray::number(EndedProcess());
        QTest::newRow("the process it names has ended") << ended + "\n" << 0;
        QTest::newRow("no process number, older than the limit") << QByteArray() << 3600;
        QTest::newRow("a live process's number, older than the limit")
            << QByteArray::number(::getppid()) + "\n"
            << 3600;
        QTest::newRow("this program's own, from another machine, older than the limit")
            << ended + "\ntolvik host=elsewhere mailbox=1 start=0 end=-1\n"
            << 3600;
    }
    void aLockFileLeftBehindIsBroken() {
        QFETCH(QByteArray, lockText);
        QFETCH(int, ageSeconds);
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/Inbox/a.eml"), Message("a@example.org", "new"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, kEarlier);
        WriteFile(mailbox + ".lock", lockText);
        if (ageSeconds > 0) {
            const timespec old[2] = {{::time(nullptr) - ageSeconds, 0},
                                     {::time(nullptr) - ageSeconds, 0}};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(mailbox + ".lock").constData(), old,
                                0) == 0);
        }
        RunHost host;
        const RunSummary summary = Convert(out, {dir.filePath("src/Inbox/a.eml")}, host);
        QCOMPARE(summary.converted, 1);
        QCOMPARE(ReadAll(mailbox), kEarlier + RecordOf(dir.filePath("src/Inbox/a.eml")));
        QVERIFY(!QFile::exists(mailbox + ".lock"));
    }

    void noWritingThroughLinksOrIntoSpecialFiles_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("a link in place of a mirrored folder")
            << "folder link"
            << "could not create the folder OUTSRC: it is a link";
        QTest::newRow("a link in place of the mailbox")
            << "mailbox link"
            << "could not write the mailbox OUTSRC/Inbox/Inbox.mbox: it is a link";
        QTest::newRow("a dangling link in place of the mailbox")
            << "dangling mailbox link"
            << "could not write the mailbox OUTSRC/Inbox/Inbox.mbox: it is a link";
        QTest::newRow("a named pipe in place of the mailbox")
            << "fifo"
            << "could not write the mailbox OUTSRC/Inbox/Inbox.mbox: it is not a plain file";
        QTest::newRow("a named pipe with a reader in place of the mailbox")
            << "fifo with reader"
            << "could not write the mailbox OUTSRC/Inbox/Inbox.mbox: it is not a plain file";
        QTest::newRow("a link in place of the lock file")
            << "lock link"
            << "the mailbox is locked by another program";
    }
    void noWritingThroughLinksOrIntoSpecialFiles() {
        QFETCH(QString, what);
        QFETCH(QString, reasonPart);
        QTemporaryDir dir;
        const QString message = dir.filePath("src/Inbox/a.eml");
        WriteFile(message, Message("a@example.org", "new"));
        const QString out = dir.filePath("out");
        const QString mirrored = out + dir.filePath("src");
        const QString mailbox = InboxMailbox(dir.path(), out);
        // Outside the output folder: a folder and a private file a link could lead to.
        const QString outside = dir.filePath("elsewhere");
        WriteFile(outside + "/private", "secret\n");
        QVERIFY(QDir().mkpath(mirrored + "/Inbox"));
        pid_t reader = -1;
        if (what == "folder link") {
            QVERIFY(QDir(mirrored).removeRecursively());
            QVERIFY(QFile::link(outside, mirrored));
        } else if (what == "mailbox link") {
            QVERIFY(QFile::link(outside + "/private", mailbox));
        } else if (what == "dangling mailbox link") {
            QVERIFY(QFile::link(outside + "/made-through-the-link", mailbox));
        } else if (what == "lock link") {
            QVERIFY(QFile::link(outside + "/made-through-the-link", mailbox + ".lock"));
        } else {
            QVERIFY(::mkfifo(QFile::encodeName(mailbox).constData(), 0600) == 0);
            if (what == "fifo with reader") {
                reader = Start([&] {
                    const int fd = ::open(QFile::encodeName(mailbox).constData(), O_RDONLY);
                    char buffer[4096];
                    while (::read(fd, buffer, sizeof buffer) > 0) {
                    }
                    return 0;
                });
                ::usleep(100000);  // the reader opens the pipe
            }
        }
        const QStringList before = QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        RunHost host;
        const RunSummary summary = Convert(out, {message}, host);
        if (reader > 0) {
            Stop(reader);
        }
        QCOMPARE(summary.converted, 0);
        const QString reasons = Reasons(summary);
        QString want = reasonPart;
        want.replace("OUTSRC", out + dir.filePath("src"));
        QVERIFY2(reasons.contains(want), qPrintable(reasons));
        // Nothing was written outside the output folder, nor into the pipe.
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QCOMPARE(ReadAll(outside + "/private"), QByteArray("secret\n"));
        QVERIFY(!QFile::exists(mailbox + ".lock") || what == "lock link");
    }

    void theOutputFolderItselfMayBeALink() {
        QTemporaryDir dir;
        const QString message = dir.filePath("src/Inbox/a.eml");
        WriteFile(message, Message("a@example.org", "new"));
        QVERIFY(QDir().mkpath(dir.filePath("real-out")));
        QVERIFY(QFile::link(dir.filePath("real-out"), dir.filePath("out")));
        RunHost host;
        QCOMPARE(Convert(dir.filePath("out"), {message}, host).converted, 1);
        QCOMPARE(ReadAll(InboxMailbox(dir.path(), dir.filePath("real-out"))), RecordOf(message));
    }

    void anInterruptedRecordIsTakenOffAgain_data() {
        QTest::addColumn<bool>("newMailbox");
        QTest::newRow("an existing mailbox") << false;
        QTest::newRow("a mailbox the record created") << true;
    }
    void anInterruptedRecordIsTakenOffAgain() {
        QFETCH(bool, newMailbox);
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/Inbox/big.eml"), LargeMessage("big@example.org", 8 << 20));
        WriteFile(dir.filePath("src/Inbox/after.eml"), Message("after@example.org", "after"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        if (!newMailbox) {
            WriteFile(mailbox, kEarlier);
        }
        RecordingHost host;
        bool sawPartOfTheRecord = false;
        host.interrupt = [&] {
            sawPartOfTheRecord = QFileInfo(mailbox).size() > kEarlier.size() + (1 << 20);
            return sawPartOfTheRecord;
        };
        const RunSummary summary = Convert(
            out, {dir.filePath("src/Inbox/big.eml"), dir.filePath("src/Inbox/after.eml")}, host);
        QVERIFY(sawPartOfTheRecord);
        QVERIFY(summary.interrupted);
        QVERIFY(summary.stopped);
        QCOMPARE(summary.converted, 0);
        QVERIFY(summary.failures.empty());
        if (newMailbox) {
            QVERIFY(!QFile::exists(mailbox));
        } else {
            QCOMPARE(ReadAll(mailbox), kEarlier);
        }
        QVERIFY(!QFile::exists(mailbox + ".lock"));
    }

    void anInterruptEndsAWaitForALock() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/Inbox/a.eml"), Message("a@example.org", "new"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, kEarlier);
        const pid_t holder = HoldFcntlLock(mailbox);
        QVERIFY(holder > 0);
        RecordingHost host;
        int asked = 0;
        host.interrupt = [&] { return ++asked > 3; };
        const RunSummary summary = Convert(out, {dir.filePath("src/Inbox/a.eml")}, host,
                                           LockTimes{.wait = std::chrono::hours(1)});
        Stop(holder);
        QVERIFY(summary.interrupted);
        QCOMPARE(ReadAll(mailbox), kEarlier);
        QVERIFY(!QFile::exists(mailbox + ".lock"));
    }

    void aKilledRunIsRepairedByTheNextAppend_data() {
        QTest::addColumn<QString>("when");
        QTest::addColumn<bool>("cut");
        QTest::newRow("killed in the middle of a large record") << "large" << true;
        QTest::newRow("killed in the middle of a small record") << "small" << true;
        QTest::newRow("killed between two records") << "between" << false;
        QTest::newRow("another program appended after the unfinished record")
            << "foreign after" << false;
    }
    void aKilledRunIsRepairedByTheNextAppend() {
        QFETCH(QString, when);
        QFETCH(bool, cut);
        QTemporaryDir dir;
        const QString big = dir.filePath("src/Inbox/big.eml");
        const QString small = dir.filePath("src/Inbox/small.eml");
        const QString next = dir.filePath("src/Inbox/next.eml");
        WriteFile(big, LargeMessage("big@example.org", 8 << 20));
        WriteFile(small, Message("small@example.org", "small"));
        WriteFile(next, Message("next@example.org", "the next run's"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, kEarlier);
        const QByteArray smallRecord = RecordOf(small);

        // The run dies with SIGKILL: no handler runs, the lock file stays behind.
        const pid_t run = Start([&] {
            RecordingHost host;
            host.interrupt = [&] {
                if (QFileInfo(mailbox).size() > kEarlier.size() + (1 << 20)) {
                    ::raise(SIGKILL);
                }
                return false;
            };
            host.finished = [&](int) { ::raise(SIGKILL); };  // after the first record
            Convert(out,
                    when == "large" || when == "foreign after" ? QStringList{big}
                                                               : QStringList{small, big},
                    host);
            return 0;
        });
        QCOMPARE(Wait(run), 128 + SIGKILL);
        QVERIFY(QFile::exists(mailbox + ".lock"));
        if (when == "small") {
            // A record cut short by a crash in its one write: the mailbox as it would be.
            QFile file(mailbox);
            QVERIFY(file.resize(kEarlier.size() + smallRecord.size() / 2));
        }
        if (when == "foreign after") {
            QFile file(mailbox);
            QVERIFY(file.open(QIODevice::Append));
            file.write("\r\nFrom other@example.org Sat Mar 06 10:00:00 2010\r\nother\r\n");
        }
        const QByteArray left = ReadAll(mailbox);

        RecordingHost host;
        const RunSummary summary = Convert(out, {next}, host);
        QCOMPARE(summary.converted, 1);
        const QByteArray nextRecord = RecordOf(next);
        if (cut) {
            QCOMPARE(host.repairs.size(), std::size_t(1));
            QCOMPARE(summary.repairs.size(), std::size_t(1));
            QCOMPARE(host.repairs[0].mailboxPath, mailbox.toStdString());
            QCOMPARE(host.repairs[0].removedBytes, left.size() - kEarlier.size());
            QCOMPARE(ReadAll(mailbox), kEarlier + nextRecord);
            const QString report = QString::fromStdString(RunReportText(summary));
            QVERIFY2(report.contains(mailbox + ": removed an unfinished record of " +
                                     QString::number(left.size() - kEarlier.size()) + " bytes"),
                     qPrintable(report));
        } else {
            QVERIFY(host.repairs.empty());
            // Nothing is cut; a record follows an empty line.
            const QByteArray gap = left.endsWith("\r\n\r\n") ? "" : "\r\n";
            QCOMPARE(ReadAll(mailbox), left + gap + nextRecord);
            if (when == "between") {
                QCOMPARE(left, kEarlier + smallRecord);
            }
        }
        QVERIFY(!QFile::exists(mailbox + ".lock"));
    }

    void aRecordAlwaysFollowsAnEmptyLine_data() {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArray>("added");
        QTest::newRow("empty file") << QByteArray() << QByteArray();
        QTest::newRow("ends with an empty line") << kEarlier << QByteArray();
        QTest::newRow("ends with an empty line, LF only")
            << QByteArray("From x@y Thu Mar 04 08:00:00 2010\nkept\n\n") << QByteArray();
        QTest::newRow("ends with CR LF")
            << QByteArray("From x@y D\r\nkept\r\n") << QByteArray("\r\n");
        QTest::newRow("ends with LF") << QByteArray("From x@y D\nkept\n") << QByteArray("\r\n");
        QTest::newRow("ends with CR") << QByteArray("From x@y D\rkept\r") << QByteArray("\n\r\n");
        QTest::newRow("ends in the middle of a line")
            << QByteArray("From x@y D\r\nkept") << QByteArray("\r\n\r\n");
        QTest::newRow("one byte") << QByteArray("x") << QByteArray("\r\n\r\n");
    }
    void aRecordAlwaysFollowsAnEmptyLine() {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArray, added);
        QTemporaryDir dir;
        const QString message = dir.filePath("src/Inbox/a.eml");
        WriteFile(message, Message("a@example.org", "new"));
        const QString out = dir.filePath("out");
        const QString mailbox = InboxMailbox(dir.path(), out);
        WriteFile(mailbox, existing);
        RunHost host;
        QCOMPARE(Convert(out, {message}, host).converted, 1);
        QCOMPARE(ReadAll(mailbox), existing + added + RecordOf(message));
    }

    void newFilesArePrivateAndOldOnesKeepTheirModes() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/New/Deeper/a.eml"), Message("a@example.org", "new"));
        WriteFile(dir.filePath("src/Old/b.eml"), Message("b@example.org", "old"));
        const QString out = dir.filePath("out");
        const QString old = out + dir.filePath("src/Old");
        WriteFile(old + "/Old.mbox", kEarlier);
        QVERIFY(::chmod(QFile::encodeName(old).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(old + "/Old.mbox").constData(), 0644) == 0);
        const mode_t savedMask = ::umask(0);  // the modes must not rely on the user's umask
        RunHost host;
        const RunSummary summary = Convert(
            out, {dir.filePath("src/New/Deeper/a.eml"), dir.filePath("src/Old/b.eml")}, host);
        ::umask(savedMask);
        QCOMPARE(summary.converted, 2);
        auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777)
                                                                         : -1;
        };
        QCOMPARE(mode(out + dir.filePath("src/New")), 0700);
        QCOMPARE(mode(out + dir.filePath("src/New/Deeper")), 0700);
        QCOMPARE(mode(out + dir.filePath("src/New/Deeper/Deeper.mbox")), 0600);
        QCOMPARE(mode(old), 0755);
        QCOMPARE(mode(old + "/Old.mbox"), 0644);

        // The output folder that a run creates is private too.
        const QString fresh = dir.filePath("fresh/out");
        const mode_t mask = ::umask(0);
        const bool made = EnsureDirectoryPath(fresh.toStdString());
        ::umask(mask);
        QVERIFY(made);
        QCOMPARE(mode(dir.filePath("fresh")), 0700);
        QCOMPARE(mode(fresh), 0700);
    }

    void failuresGiveTheirTrueReason_data() {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("read-only disk") << "read-only"
                                        << "the disk is read-only";
        QTest::newRow("no inodes left") << "no inodes"
                                        << "all its inodes are in use";
        QTest::newRow("no room left") << "full"
                                      << "the disk is full";
        QTest::newRow("a folder the user may not write") << "not mine"
                                                         << "permission denied";
    }
    void failuresGiveTheirTrueReason() {
        QFETCH(QString, disk);
        QFETCH(QString, reasonPart);
        QTemporaryDir dir;
        // Readable by anyone, for the run that is not root's.
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const QString message = dir.filePath("src/Inbox/a.eml");
        WriteFile(message, Message("a@example.org", "new"));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("src")).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("src/Inbox")).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(message).constData(), 0644) == 0);
        const QString out = dir.filePath("out");
        QVERIFY(QDir().mkpath(out));
        std::unique_ptr<SmallDisk> mounted;
        if (disk == "read-only") {
            mounted = std::make_unique<SmallDisk>(out, "size=1m", MS_RDONLY);
        } else if (disk == "no inodes") {
            mounted = std::make_unique<SmallDisk>(out, "size=1m,nr_inodes=3");
        } else if (disk == "full") {
            mounted = std::make_unique<SmallDisk>(out, "size=4k");
            WriteFile(message, Message("a@example.org", QByteArray(64 << 10, 'x')));
        }
        if (mounted && !mounted->Mounted()) {
            QSKIP(qPrintable("a tmpfs cannot be mounted here: " +
                             QString::fromLocal8Bit(std::strerror(mounted->Error()))));
        }
        int reasonPipe[2];
        QVERIFY(::pipe(reasonPipe) == 0);
        // A folder the user may not write: as root, the run is made by user nobody; as
        // another user, the folder is made read-only.
        const bool asNobody = disk == "not mine";
        const bool root = ::geteuid() == 0;
        if (asNobody && !root) {
            QVERIFY(::chmod(QFile::encodeName(out).constData(), 0555) == 0);
        }
        const pid_t child = Start([&] {
            if (asNobody && root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                return 3;
            }
            RunHost host;
            const RunSummary summary = Convert(out, {message}, host);
            std::string text = FailureReportText(summary);
            if (asNobody) {
                // The output folder of the command-line tool, made with the same helper.
                std::string why;
                if (EnsureDirectoryPath(out.toStdString() + "/made/here", &why)) {
                    why = "created";
                }
                text += "\nfolder: " + why;
            }
            return ::write(reasonPipe[1], text.data(), text.size()) ==
                           static_cast<ssize_t>(text.size())
                       ? 0
                       : 1;
        });
        ::close(reasonPipe[1]);
        QByteArray text;
        char buffer[4096];
        for (ssize_t got; (got = ::read(reasonPipe[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, got);
        }
        ::close(reasonPipe[0]);
        QCOMPARE(Wait(child), 0);
        if (asNobody && !root) {
            QVERIFY(::chmod(QFile::encodeName(out).constData(), 0755) == 0);
        }
        QVERIFY2(text.startsWith("1 of 1 message could not be converted"), text.constData());
        QVERIFY2(text.contains(reasonPart.toUtf8()), text.constData());
        QVERIFY2(!text.contains("it does not exist"), text.constData());
        if (asNobody) {
            QVERIFY2(text.contains("\nfolder: permission denied"), text.constData());
        }
    }
};

QTEST_APPLESS_MAIN(MailboxSafetyTest)
#include "test_core_mailbox_safety.moc"
