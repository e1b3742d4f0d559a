// Faults during a conversion run: a full disk or a file size limit in the middle of a record,
// a mailbox or an output folder that cannot be made, a message file that changes between
// listing and converting. Whatever happens to one message, the run must leave every earlier
// record as it was, leave no part of the failed record behind, convert the other messages and
// name the failed one in its report.
//
// The check is a comparison with reference runs: the mailboxes after a faulty run must be
// byte for byte those of a run of the same list without the failing message (or, for a change
// that comes after the message was written, with it).
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "RunReport.h"
#include "TestFiles.h"

using namespace tolvik;

namespace {

using Mailboxes = std::map<QString, QByteArray>;  // path below the output folder -> bytes

enum class Fault {
    FileSizeLimit,       // RLIMIT_FSIZE below the size the failing record reaches
    DiskFull,            // the output folder on a small tmpfs
    MailboxIsFolder,     // a folder where the mailbox file goes
    OutputFolderIsFile,  // a file where the mailbox's folder goes
    OutputParentIsFile,  // a file where a folder above the mailbox's folder goes
    MessageRemoved,      // the message file is deleted after it was listed
    MessageIsFolder,     // ... or replaced by a folder
    MessageIsPipe,       // ... or replaced by a named pipe (no writer)
};

bool ChangesTheMessage(Fault fault) {
    return fault == Fault::MessageRemoved || fault == Fault::MessageIsFolder ||
           fault == Fault::MessageIsPipe;
}

// Every mailbox file below `root`, by its path relative to `root`.
Mailboxes MailboxesBelow(const QString& root) {
    Mailboxes found;
    QDirIterator it(root, {QStringLiteral("*.mbox")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        found[QDir(root).relativeFilePath(path)] =
            file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    return found;
}

// Empty when both sets of mailboxes are alike, else the first difference.
QString Difference(const Mailboxes& got, const Mailboxes& want) {
    for (const auto& [path, bytes] : want) {
        const auto it = got.find(path);
        if (it == got.end()) {
            return "missing mailbox " + path;
        }
        if (it->second != bytes) {
            qsizetype at = 0;
            while (at < bytes.size() && at < it->second.size() && bytes[at] == it->second[at]) {
                ++at;
            }
            return QStringLiteral("%1: %2 bytes instead of %3, first difference at %4")
                .arg(path)
                .arg(it->second.size())
                .arg(bytes.size())
                .arg(at);
        }
    }
    for (const auto& [path, bytes] : got) {
        if (!want.contains(path)) {
            return QStringLiteral("unexpected mailbox %1 of %2 bytes").arg(path).arg(bytes.size());
        }
    }
    return {};
}

// A message of about `size` bytes with every kind of line end and "From " lines in its body.
QByteArray LargeMessage(int size) {
    QByteArray message =
        "From: big@example.org\r\nDate: Sat, 6 Mar 2010 10:00:00 +0000\r\nSubject: big\r\n\r\n";
    const char* const ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; message.size() < size; ++i) {
        message += (i % 5 == 0) ? "From the body, line " : "line ";
        message += QByteArray::number(i) + QByteArray(i % 61, 'x') + ends[i % 3];
    }
    return message;
}

// Limits the size of the files this process writes, for its lifetime.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        active_ = ::getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        active_ = active_ && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        if (active_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        }
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

private:
    rlimit saved_{};
    bool active_ = false;
};

// Acts on the failing row at one of its steps: step 0 is the row's start, step k its k-th
// pause for events (the run pauses between opening the folder, reading the message and
// writing the record).
struct FaultHost : RunHost {
    int faultRow = -1;
    int actAtStep = 0;
    std::function<void()> action;
    bool acted = false;
    std::vector<std::string> failedPaths;

    void RowStarted(int row) override {
        inFaultRow_ = row == faultRow;
        step_ = 0;
        MaybeAct();
    }
    void Yield() override {
        if (inFaultRow_) {
            ++step_;
            MaybeAct();
        }
    }
    void RowFailed(int, const std::string& path, const Failure&) override {
        failedPaths.push_back(path);
    }
    void RowFinished(int, int, float) override { inFaultRow_ = false; }

private:
    void MaybeAct() {
        if (inFaultRow_ && step_ == actAtStep && action && !acted) {
            acted = true;
            action();
        }
    }
    bool inFaultRow_ = false;
    int step_ = 0;
};

// Source messages below <dir>/src: A holds three small messages and maybe the failing one,
// B one small message, V/W maybe the failing one. The failing message is the third row.
struct Sources {
    QString root;
    QString faultFolder;  // "A" or "V/W"

    QString Path(const QString& relative) const { return root + "/src/" + relative; }
    QString FaultMessage() const { return Path(faultFolder + "/failing.eml"); }

    std::vector<std::string> Rows(bool withFaultRow) const {
        std::vector<std::string> rows = {Path("A/a0.eml").toStdString(),
                                         Path("A/a1.eml").toStdString()};
        if (withFaultRow) {
            rows.push_back(FaultMessage().toStdString());
        }
        rows.push_back(Path("A/a2.eml").toStdString());
        rows.push_back(Path("B/b0.eml").toStdString());
        return rows;
    }

    void Write() const {
        int n = 0;
        for (const char* name : {"A/a0.eml", "A/a1.eml", "A/a2.eml", "B/b0.eml"}) {
            WriteFile(Path(name), QStringLiteral("From: s%1@example.org\r\nDate: Fri, 5 Mar 2010 "
                                                 "09:07:0%1 +0000\r\n\r\nbody %1\nFrom me\r\n")
                                      .arg(n++)
                                      .toLatin1());
        }
        RestoreFaultMessage();
    }
    void RestoreFaultMessage() const {
        QFileInfo info(FaultMessage());
        if (info.isDir()) {
            QVERIFY(QDir(FaultMessage()).removeRecursively());
        } else if (info.exists() || info.isSymLink()) {
            QVERIFY(QFile::remove(FaultMessage()));
        }
        WriteFile(FaultMessage(), LargeMessage(3 << 20));
    }

    // The mirrored folder of a source folder below an output folder.
    QString Mirrored(const QString& out, const QString& folder) const { return out + Path(folder); }
};

const QByteArray kEarlier =
    "From earlier@example.org Thu Mar 04 08:00:00 2010\r\nSubject: earlier\r\n\r\nkept\r\n\r\n";

// Runs the list into `out`, after putting the records of an earlier run into A's mailbox.
RunSummary RunInto(const Sources& sources, const QString& out, bool withFaultRow, RunHost& host) {
    [&] { WriteFile(sources.Mirrored(out, "A") + "/A.mbox", kEarlier); }();  // (QVERIFY: void)
    const std::vector<std::string> rows = sources.Rows(withFaultRow);
    ConversionRun run(out.toStdString(), host);
    return run.Run(static_cast<int>(rows.size()), [&](int row) { return rows[row]; });
}

}  // namespace

Q_DECLARE_METATYPE(Fault)

class FaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void faultLosesNothing_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("faultFolder");
        QTest::addColumn<QString>("reasonPart");
        const auto row = [](const char* name, Fault fault, const char* faultFolder,
                            const char* reasonPart) {
            QTest::newRow(name) << fault << QString(faultFolder) << QString(reasonPart);
        };
        row("file size limit in the middle of a record", Fault::FileSizeLimit, "A",
            "largest size allowed");
        row("disk full in the middle of a record", Fault::DiskFull, "A", "the disk is full");
        row("mailbox path taken by a folder", Fault::MailboxIsFolder, "V/W", "it is a folder");
        row("output folder cannot be created: a file in its place", Fault::OutputFolderIsFile,
            "V/W", "a file stands where a folder is needed");
        row("output folder cannot be created: a file above it", Fault::OutputParentIsFile, "V/W",
            "a file stands where a folder is needed");
        row("message removed after listing", Fault::MessageRemoved, "A", "it does not exist");
        row("message replaced by a folder after listing", Fault::MessageIsFolder, "A",
            "it is a folder");
        row("message replaced by a named pipe after listing", Fault::MessageIsPipe, "A",
            "not a plain file");
    }
    void faultLosesNothing() {
        QFETCH(Fault, fault);
        QFETCH(QString, faultFolder);
        QFETCH(QString, reasonPart);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Sources sources{dir.path(), faultFolder};
        sources.Write();

        // The references: the list without the failing message, and with it.
        const QString outWithout = dir.filePath("ref-without");
        const QString outWith = dir.filePath("ref-with");
        RunHost plain;
        QCOMPARE(RunInto(sources, outWithout, false, plain).failures.size(), std::size_t(0));
        QCOMPARE(RunInto(sources, outWith, true, plain).failures.size(), std::size_t(0));
        const Mailboxes without = MailboxesBelow(outWithout);
        const Mailboxes with = MailboxesBelow(outWith);
        QCOMPARE(without.size(), std::size_t(2));
        QVERIFY(without != with);

        // A change to the message file is tried at every step of its row; the other faults
        // are in place before the run.
        for (int step = 0;; ++step) {
            const QString out = dir.filePath(QStringLiteral("out%1").arg(step));
            QVERIFY(QDir().mkpath(out));
            sources.RestoreFaultMessage();
            const QString mirrored = sources.Mirrored(out, faultFolder);
            FaultHost host;
            host.faultRow = 2;
            host.actAtStep = step;
            std::unique_ptr<SmallDisk> disk;
            std::unique_ptr<FileSizeLimit> limit;
            switch (fault) {
                case Fault::FileSizeLimit:
                    break;  // set just before the run
                case Fault::DiskFull:
                    disk = std::make_unique<SmallDisk>(out, "size=1m");
                    if (!disk->Mounted()) {
                        QSKIP(qPrintable("a tmpfs cannot be mounted here: " +
                                         QString::fromLocal8Bit(std::strerror(disk->Error()))));
                    }
                    break;
                case Fault::MailboxIsFolder:
                    QVERIFY(QDir().mkpath(mirrored + "/W.mbox"));
                    break;
                case Fault::OutputFolderIsFile:
                    WriteFile(mirrored, "in the way");
                    break;
                case Fault::OutputParentIsFile:
                    WriteFile(sources.Mirrored(out, "V"), "in the way");
                    break;
                case Fault::MessageRemoved:
                    host.action = [&] { QVERIFY(QFile::remove(sources.FaultMessage())); };
                    break;
                case Fault::MessageIsFolder:
                    host.action = [&] {
                        QVERIFY(QFile::remove(sources.FaultMessage()));
                        QVERIFY(QDir().mkdir(sources.FaultMessage()));
                    };
                    break;
                case Fault::MessageIsPipe:
                    host.action = [&] {
                        QVERIFY(QFile::remove(sources.FaultMessage()));
                        QVERIFY(::mkfifo(QFile::encodeName(sources.FaultMessage()), 0644) == 0);
                    };
                    break;
            }
            if (fault == Fault::FileSizeLimit) {
                // The earlier records and the small messages stay far below it; the writer
                // itself ignores SIGXFSZ, so that the write fails instead of ending the program.
                limit = std::make_unique<FileSizeLimit>(1 << 20);
                QVERIFY(limit->Active());
            }
            const RunSummary summary = RunInto(sources, out, true, host);
            limit.reset();
            const Mailboxes got = MailboxesBelow(out);
            disk.reset();
            if (ChangesTheMessage(fault) && !host.acted) {
                break;  // the row had no more steps
            }

            const std::string failing = sources.FaultMessage().toStdString();
            QCOMPARE(summary.rowCount, 5);
            if (summary.failures.empty()) {
                // Only a change after the record was written lets the message through.
                QVERIFY2(ChangesTheMessage(fault) && step > 0, qPrintable(QString::number(step)));
                QCOMPARE(summary.converted, 5);
                const QString difference = Difference(got, with);
                QVERIFY2(difference.isEmpty(), qPrintable(difference));
            } else {
                const QString difference = Difference(got, without);
                QVERIFY2(difference.isEmpty(),
                         qPrintable(QStringLiteral("step %1: ").arg(step) + difference));
                QCOMPARE(summary.converted, 4);
                QCOMPARE(summary.failures.size(), std::size_t(1));
                QCOMPARE(summary.failures[0].path, failing);
                QCOMPARE(host.failedPaths, std::vector<std::string>{failing});
                const QString reason =
                    QString::fromStdString(Describe(summary.failures[0].failure));
                QVERIFY2(reason.contains(reasonPart), qPrintable(reason));
                const QString report = QString::fromStdString(FailureReportText(summary));
                QVERIFY2(report.startsWith("1 of 5 messages could not be converted"),
                         qPrintable(report));
                QVERIFY(report.contains(QString::fromStdString(failing) + ": " + reason));
            }
            if (step == 0) {
                QVERIFY2(!summary.failures.empty(), "a fault present from the row's start");
            }
            if (!ChangesTheMessage(fault)) {
                break;
            }
        }
    }
};

QTEST_APPLESS_MAIN(FaultsTest)
#include "test_core_faults.moc"
