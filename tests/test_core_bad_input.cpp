// Message files that are not what a mail program saves, through the whole conversion run:
// each is converted by the reader's rules (sender and date from the header block, else
// MAILER-DAEMON and the next date the rules allow), without a crash, into a record whose every
// byte is checked.
#include <sys/stat.h>
#include <utime.h>

#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "ConversionRun.h"

using namespace tolvik;

namespace {

// Every message file gets this modification time: 2001-02-03 04:05:06 in the zone set below.
constexpr std::time_t kModified = 981173106;
const QByteArray kModifiedText = "Sat Feb 03 04:05:06 2001";

void WriteMessage(const QString& path, const QByteArray& bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    const utimbuf times{kModified, kModified};
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
}

// True when the file holds exactly the pieces, one after the other; `why` says where not.
bool FileHolds(const QString& path, const std::vector<QByteArray>& pieces, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = "cannot open " + path;
        return false;
    }
    qint64 offset = 0;
    for (const QByteArray& piece : pieces) {
        constexpr qsizetype kChunk = 1 << 20;
        for (qsizetype at = 0; at < piece.size(); at += kChunk) {
            const QByteArray want = piece.mid(at, kChunk);
            const QByteArray got = file.read(want.size());
            if (got != want) {
                qsizetype i = 0;
                while (i < got.size() && got[i] == want[i]) {
                    ++i;
                }
                *why = QStringLiteral("the record differs at byte %1").arg(offset + at + i);
                return false;
            }
        }
        offset += piece.size();
    }
    if (!file.atEnd()) {
        *why = QStringLiteral("the mailbox goes on after byte %1").arg(offset);
        return false;
    }
    return true;
}

}  // namespace

class BadInputTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The file-time fallback is a local time: pin the zone.
        qputenv("TZ", "UTC");
        ::tzset();
    }

    // Small inputs: the whole record is given.
    void convertsByTheReadersRules_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("separator");
        QTest::addColumn<QByteArray>("text");  // the record between separator and closing line

        const QByteArray daemon = "From MAILER-DAEMON " + kModifiedText;
        const QByteArray ann = "From ann@example.org ";
        QTest::newRow("empty file") << QByteArray() << daemon << QByteArray();
        QTest::newRow("binary file with NUL bytes")
            << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0\xff\xfe\0", 23) << daemon
            << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\r\nIHDR\0\0\x01\0\xff\xfe\0\r\n", 26);
        QTest::newRow("only CR characters")
            << QByteArray(4, '\r') << daemon << QByteArray("\r\n\r\n\r\n\r\n");
        QTest::newRow("header block with no empty line")
            << QByteArray(
                   "From: Ann <ann@example.org>\nDate: Fri, 5 Mar 2010 09:07:03 +0100\n"
                   "Subject: no body")
            << ann + "Fri Mar 05 09:07:03 2010"
            << QByteArray(
                   "From: Ann <ann@example.org>\nDate: Fri, 5 Mar 2010 09:07:03 +0100\n"
                   "Subject: no body\r\n");
        QTest::newRow("31 Feb 2010: the Received date")
            << QByteArray(
                   "Received: from a by b; Sat, 6 Mar 2010 10:00:00 +0000\r\n"
                   "From: ann@example.org\r\nDate: 31 Feb 2010 10:00:00 +0000\r\n\r\nx")
            << ann + "Sat Mar 06 10:00:00 2010"
            << QByteArray(
                   "Received: from a by b; Sat, 6 Mar 2010 10:00:00 +0000\r\n"
                   "From: ann@example.org\r\nDate: 31 Feb 2010 10:00:00 +0000\r\n\r\nx\r\n");
        QTest::newRow("31 Feb 2010 and no Received: the file time")
            << QByteArray("From: ann@example.org\r\nDate: 31 Feb 2010 10:00:00 +0000\r\n\r\nx\r\n")
            << ann + kModifiedText
            << QByteArray("From: ann@example.org\r\nDate: 31 Feb 2010 10:00:00 +0000\r\n\r\nx\r\n");
        QTest::newRow("1999/01/31: the file time")
            << QByteArray("From: ann@example.org\r\nDate: 1999/01/31\r\n\r\nx\r\n")
            << ann + kModifiedText
            << QByteArray("From: ann@example.org\r\nDate: 1999/01/31\r\n\r\nx\r\n");
        QTest::newRow("no date: the Received date")
            << QByteArray(
                   "Received: from a\r\n by b; 7 Mar 2010 11:12:13 -0500\r\n"
                   "From: ann@example.org\r\n\r\nx\r\n")
            << ann + "Sun Mar 07 11:12:13 2010"
            << QByteArray(
                   "Received: from a\r\n by b; 7 Mar 2010 11:12:13 -0500\r\n"
                   "From: ann@example.org\r\n\r\nx\r\n");
        QTest::newRow("no date and no Received: the file time")
            << QByteArray("From: ann@example.org\r\nSubject: undated\r\n\r\nx\r\n")
            << ann + kModifiedText
            << QByteArray("From: ann@example.org\r\nSubject: undated\r\n\r\nx\r\n");
    }
    void convertsByTheReadersRules() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, separator);
        QFETCH(QByteArray, text);
        Convert(message, {separator + "\r\n", text, "\r\n"});
    }

    // Large inputs, made here rather than held in the table: the record is the message with
    // the line end its last line lacks.
    void largeInputs_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("separator");
        QTest::addColumn<QByteArray>("lastLineEnd");
        QTest::newRow("100 MB single line")
            << "line"
            << "From MAILER-DAEMON " + kModifiedText << QByteArray("\r\n");
        // The reader stops at the first MiB of the header block: the fields above the fold
        // count, the rest is only copied.
        QTest::newRow("endless folded header")
            << "folded" << QByteArray("From ann@example.org Fri Mar 05 09:07:03 2010")
            << QByteArray();
    }
    void largeInputs() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, separator);
        QFETCH(QByteArray, lastLineEnd);
        QByteArray message;
        if (kind == "line") {
            message = QByteArray(100 << 20, 'x');
        } else {
            message = "From: ann@example.org\r\nDate: Fri, 5 Mar 2010 09:07:03 +0100\r\nX: a\r\n";
            message += QByteArray(" b\r\n").repeated(50 << 18);  // 50 MB of continuation lines
        }
        Convert(message, {separator + "\r\n", message, lastLineEnd, "\r\n"});
    }

private:
    // Converts one message file alone and checks that its mailbox holds exactly `record`.
    void Convert(const QByteArray& message, const std::vector<QByteArray>& record) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("src/Inbox/message.eml");
        WriteMessage(path, message);
        RunHost host;
        ConversionRun run(dir.filePath("out").toStdString(), host);
        const RunSummary summary = run.Run(1, [&](int) { return path.toStdString(); });
        QVERIFY2(summary.failures.empty(),
                 summary.failures.empty() ? "" : Describe(summary.failures[0].failure).c_str());
        QCOMPARE(summary.converted, 1);
        QString why;
        QVERIFY2(
            FileHolds(dir.filePath("out") + dir.filePath("src/Inbox/Inbox.mbox"), record, &why),
            qPrintable(why));
    }
};

QTEST_APPLESS_MAIN(BadInputTest)
#include "test_core_bad_input.moc"
