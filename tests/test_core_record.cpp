// The bytes of a record, and appending it whole or not at all.
#include <sys/resource.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <string>

#include "MailboxWriter.h"
#include "MboxRecord.h"
#include "TestFiles.h"

using namespace tolvik;

namespace {

std::string Encode(const std::string& message, std::size_t piece) {
    RecordEncoder encoder;
    std::string out;
    for (std::size_t at = 0; at < message.size(); at += piece) {
        encoder.Feed(std::string_view(message).substr(at, piece), out);
    }
    encoder.Finish(out);
    return out;
}

}  // namespace

class RecordTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encoding_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty file has no lines") << QByteArray("") << QByteArray("");
        QTest::newRow("CR LF lines unchanged")
            << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("last line gets a line end")
            << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lone LF stays inside the line")
            << QByteArray("a\nb\n") << QByteArray("a\nb\n\r\n");
        QTest::newRow("only CR characters") << QByteArray("\r\r\r") << QByteArray("\r\n\r\n\r\n");
        QTest::newRow("empty lines kept")
            << QByteArray("a\r\n\r\n\r\nb") << QByteArray("a\r\n\r\n\r\nb\r\n");
        QTest::newRow("From line in the body is quoted")
            << QByteArray("Subject: x\r\n\r\nFrom here on\r\n")
            << QByteArray("Subject: x\r\n\r\n>From here on\r\n");
        QTest::newRow("From after a lone LF is quoted")
            << QByteArray("a\nFrom b\n") << QByteArray("a\n>From b\n\r\n");
        QTest::newRow("From after a lone CR is quoted")
            << QByteArray("a\rFrom b") << QByteArray("a\r\n>From b\r\n");
        QTest::newRow("a quoted line is left as it is")
            << QByteArray("x\r\n>From b\r\n") << QByteArray("x\r\n>From b\r\n");
        QTest::newRow("From without blank is not a separator")
            << QByteArray("x\r\nFrom: a@b\r\nFromage\r\n")
            << QByteArray("x\r\nFrom: a@b\r\nFromage\r\n");
        QTest::newRow("From not at line start untouched")
            << QByteArray("x From y\r\n") << QByteArray("x From y\r\n");
        QTest::newRow("partial From at the end")
            << QByteArray("x\r\nFro") << QByteArray("x\r\nFro\r\n");
        QTest::newRow("kept separator line is dropped (CR LF)")
            << QByteArray("From a@b Mon Jan  1 00:00:00 2001\r\nSubject: x\r\n")
            << QByteArray("Subject: x\r\n");
        QTest::newRow("kept separator line is dropped (LF)")
            << QByteArray("From a@b Mon Jan  1 00:00:00 2001\nSubject: x\nFrom me\n")
            << QByteArray("Subject: x\n>From me\n\r\n");
        QTest::newRow("kept separator line is dropped (CR)")
            << QByteArray("From a@b\rSubject: x") << QByteArray("Subject: x\r\n");
        QTest::newRow("nothing but a separator line")
            << QByteArray("From a@b\r\n") << QByteArray("");
        QTest::newRow("second From line after the separator is quoted")
            << QByteArray("From a@b\r\nFrom b@c\r\n") << QByteArray(">From b@c\r\n");
        QTest::newRow("From after an LF and a CR LF")
            << QByteArray("a\n\r\nFrom b\r\n") << QByteArray("a\n\r\n>From b\r\n");
        QTest::newRow("long lines of every kind")
            << QByteArray(
                   "0123456789abcdefghij\r\nFrom x\r\n0123456789abcdefghijk\rFrom y\n"
                   "0123456789abcdefghijkl\nFrom z\r0123456789abcdefghijklm\r\r\n")
            << QByteArray(
                   "0123456789abcdefghij\r\n>From x\r\n0123456789abcdefghijk\r\n>From y\n"
                   "0123456789abcdefghijkl\n>From z\r\n0123456789abcdefghijklm\r\n\r\n");
        QTest::newRow("NUL bytes pass") << QByteArray("a\0b\r\n", 5) << QByteArray("a\0b\r\n", 5);
        QTest::newRow("8-bit bytes pass") << QByteArray("caf\xe9\r\n") << QByteArray("caf\xe9\r\n");
    }
    void encoding() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, text);
        const std::string m = message.toStdString();
        // Any cutting of the input into pieces gives the same text.
        for (std::size_t piece : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7),
                                  std::max<std::size_t>(m.size(), 1)}) {
            QCOMPARE(QByteArray::fromStdString(Encode(m, piece)), text);
        }
    }

    void separatorLine() {
        QCOMPARE(
            QByteArray::fromStdString(SeparatorLine("ann@example.org", "Fri Mar 05 09:07:03 2010")),
            QByteArray("From ann@example.org Fri Mar 05 09:07:03 2010"));
        QCOMPARE(QByteArray::fromStdString(SeparatorLine("", "Fri Mar 05 09:07:03 2010")),
                 QByteArray("From  Fri Mar 05 09:07:03 2010"));
    }

    void appendsRecordsInOrder() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("a.eml"), "Subject: a\r\n\r\nbody a");
        WriteFile(dir.filePath("b.eml"), "");
        const std::string mbox = dir.filePath("Inbox.mbox").toStdString();
        std::string reason;
        QVERIFY(AppendRecord(mbox, "From a@x Fri Mar 05 09:07:03 2010",
                             dir.filePath("a.eml").toStdString(), &reason));
        QVERIFY(AppendRecord(mbox, "From b@x Sat Mar 06 09:07:03 2010",
                             dir.filePath("b.eml").toStdString(), &reason));
        QCOMPARE(ReadAll(dir.filePath("Inbox.mbox")),
                 QByteArray("From a@x Fri Mar 05 09:07:03 2010\r\nSubject: a\r\n\r\nbody a\r\n\r\n"
                            "From b@x Sat Mar 06 09:07:03 2010\r\n\r\n"));
    }

    void largeMessageInSmallPieces() {
        // A message much larger than the buffer, with line ends and From lines at every offset
        // of the buffer's edge, comes out as if encoded in one piece.
        QTemporaryDir dir;
        std::string message;
        for (int i = 0; message.size() < 300000; ++i) {
            message += (i % 3 == 0) ? "From line " : "text ";
            message += std::string(static_cast<std::size_t>(i % 17), 'x');
            message += (i % 4 == 0) ? "\r" : (i % 4 == 1) ? "\n" : "\r\n";
        }
        WriteFile(dir.filePath("big.eml"), QByteArray::fromStdString(message));
        const std::string mbox = dir.filePath("big.mbox").toStdString();
        std::string reason;
        QVERIFY(AppendRecord(mbox, "From a@x Fri Mar 05 09:07:03 2010",
                             dir.filePath("big.eml").toStdString(), &reason, 4096));
        const QByteArray expected = QByteArray("From a@x Fri Mar 05 09:07:03 2010\r\n") +
                                    QByteArray::fromStdString(Encode(message, message.size())) +
                                    "\r\n";
        QVERIFY(ReadAll(dir.filePath("big.mbox")) == expected);
    }

    void failuresLeaveTheMailboxAsItWas_data() {
        QTest::addColumn<QString>("messageName");
        QTest::addColumn<QString>("mailboxName");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("missing message") << "missing.eml"
                                         << "Inbox.mbox"
                                         << "does not exist";
        QTest::newRow("folder where the message should be") << "folder.eml"
                                                            << "Inbox.mbox"
                                                            << "folder";
        QTest::newRow("folder where the mailbox should be") << "a.eml"
                                                            << "Taken.mbox"
                                                            << "folder";
        QTest::newRow("dangling link as message") << "dangling.eml"
                                                  << "Inbox.mbox"
                                                  << "does not exist";
        QTest::newRow("mailbox in a missing folder") << "a.eml"
                                                     << "nowhere/x.mbox"
                                                     << "does not exist";
    }
    void failuresLeaveTheMailboxAsItWas() {
        QFETCH(QString, messageName);
        QFETCH(QString, mailboxName);
        QFETCH(QString, reasonPart);
        QTemporaryDir dir;
        WriteFile(dir.filePath("a.eml"), "Subject: a\r\n\r\nbody");
        QVERIFY(QDir(dir.path()).mkdir("folder.eml"));
        QVERIFY(QDir(dir.path()).mkdir("Taken.mbox"));
        QVERIFY(QFile::link(dir.filePath("gone.eml"), dir.filePath("dangling.eml")));
        const QByteArray earlier = "From x@y Fri Mar 05 09:07:03 2010\r\nearlier\r\n\r\n";
        WriteFile(dir.filePath("Inbox.mbox"), earlier);

        std::string reason;
        QVERIFY(!AppendRecord(dir.filePath(mailboxName).toStdString(),
                              "From a@x Fri Mar 05 09:07:03 2010",
                              dir.filePath(messageName).toStdString(), &reason));
        QVERIFY2(QString::fromStdString(reason).contains(reasonPart), reason.c_str());
        QCOMPARE(ReadAll(dir.filePath("Inbox.mbox")), earlier);
        QVERIFY(!QFile::exists(dir.filePath("nowhere/x.mbox")));
    }

    void fileSizeLimitCutsBackToTheEarlierRecords() {
        QTemporaryDir dir;
        const QByteArray earlier = "From x@y Fri Mar 05 09:07:03 2010\r\nearlier\r\n\r\n";
        WriteFile(dir.filePath("Inbox.mbox"), earlier);
        WriteFile(dir.filePath("big.eml"), QByteArray(200000, 'a'));
        WriteFile(dir.filePath("new.eml"), QByteArray(100000, 'b'));

        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit limited = saved;
        limited.rlim_cur = 150000;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        std::string reason;
        // An existing mailbox is cut back; a new one is removed again.
        const bool appended = AppendRecord(dir.filePath("Inbox.mbox").toStdString(), "From a@x D",
                                           dir.filePath("big.eml").toStdString(), &reason, 4096);
        std::string newReason;
        const bool created = AppendRecord(dir.filePath("New.mbox").toStdString(), "From a@x D",
                                          dir.filePath("big.eml").toStdString(), &newReason, 4096);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &saved) == 0);

        QVERIFY(!appended);
        QVERIFY2(QString::fromStdString(reason).contains("largest size"), reason.c_str());
        QCOMPARE(ReadAll(dir.filePath("Inbox.mbox")), earlier);
        QVERIFY(!created);
        QVERIFY(!QFile::exists(dir.filePath("New.mbox")));

        // The next record, within the limit, goes in after the earlier ones.
        QVERIFY(AppendRecord(dir.filePath("Inbox.mbox").toStdString(), "From b@x D",
                             dir.filePath("new.eml").toStdString(), &reason));
        QCOMPARE(ReadAll(dir.filePath("Inbox.mbox")).size(),
                 earlier.size() + qsizetype(strlen("From b@x D\r\n")) + 100000 + 4);
    }

    void fullDiskIsReported() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("a.eml"), "Subject: a\r\n\r\n" + QByteArray(3 << 20, 'a'));
        QVERIFY(QDir(dir.path()).mkdir("disk"));
        SmallDisk disk(dir.filePath("disk"), "size=1m");
        if (!disk.Mounted()) {
            QSKIP(qPrintable("a tmpfs cannot be mounted here: " +
                             QString::fromLocal8Bit(std::strerror(disk.Error()))));
        }
        const QByteArray earlier = "From x@y Fri Mar 05 09:07:03 2010\r\nearlier\r\n\r\n";
        WriteFile(dir.filePath("disk/Full.mbox"), earlier);
        std::string reason;
        QVERIFY(!AppendRecord(dir.filePath("disk/Full.mbox").toStdString(), "From a@x D",
                              dir.filePath("a.eml").toStdString(), &reason));
        QVERIFY2(QString::fromStdString(reason).contains("disk is full"), reason.c_str());
        QCOMPARE(ReadAll(dir.filePath("disk/Full.mbox")), earlier);
    }

    void messageThatIsItsOwnMailboxIsRefused() {
        QTemporaryDir dir;
        const QByteArray content = "Subject: a\r\n\r\nbody\r\n";
        WriteFile(dir.filePath("Self.mbox"), content);
        std::string reason;
        QVERIFY(!AppendRecord(dir.filePath("Self.mbox").toStdString(), "From a@x D",
                              dir.filePath("Self.mbox").toStdString(), &reason));
        QCOMPARE(ReadAll(dir.filePath("Self.mbox")), content);
    }
};

QTEST_APPLESS_MAIN(RecordTest)
#include "test_core_record.moc"
