// The message reader: which sender and which date a message file gets for its mbox separator
// line, from header blocks in memory, from files on disk and from the project's own message
// files (tests/data/messages). The shared corpus of real-world messages is read by
// test_core_shared_corpus.
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "MessageReader.h"

using tolvik::FormatMboxDate;
using tolvik::MessageDateTime;
using tolvik::MessageReader;
using tolvik::WeekdayOf;

namespace {

// A byte string from a literal, NUL bytes included.
template <size_t N>
QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, static_cast<qsizetype>(N - 1));
}

QString Text(const MessageDateTime& when) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                             when.hour, when.minute, when.second);
}

const MessageDateTime kFallback{2001, 2, 3, 4, 5, 6};
const QString kFallbackText = QStringLiteral("2001-02-03 04:05:06");
const QString kMarch5 = QStringLiteral("2010-03-05 09:07:03");
const QByteArray kNoSender = QByteArrayLiteral("MAILER-DAEMON");

// The modification time given to the files of the LoadMessage tests, in local time.
const QDateTime kModified(QDate(2011, 6, 7), QTime(8, 9, 10));
const QString kModifiedText = QStringLiteral("2011-06-07 08:09:10");

bool WriteFile(const QString& path, const QByteArray& content, const QDateTime& modified) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return false;
    }
    file.close();
    const auto seconds = static_cast<time_t>(modified.toSecsSinceEpoch());
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Header lines of `width` bytes each (line end included) up to about `total` bytes.
QByteArray FillerLines(qsizetype total, qsizetype width, const QByteArray& line_end) {
    const QByteArray line = "X-Filler: " + QByteArray(width - 10 - line_end.size(), 'x') + line_end;
    QByteArray out;
    while (out.size() + line.size() <= total) {
        out += line;
    }
    return out;
}

}  // namespace

class TestMessageReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sender_data();
    void sender();
    void date_data();
    void date();
    void nestedGroupsOnSmallStack();
    void headerBlockIsCapped_data();
    void headerBlockIsCapped();
    void loadMessage_data();
    void loadMessage();
    void loadFailure_data();
    void loadFailure();
    void formatMboxDate_data();
    void formatMboxDate();
    void weekdayMatchesCalendar();
    void projectMessages_data();
    void projectMessages();

private:
    QTemporaryDir tmp_;
    QString messages_;  // a copy of tests/data/messages in tmp_, every file dated kModified
};

void TestMessageReader::initTestCase() {
    QVERIFY(tmp_.isValid());
    const QString source = QStringLiteral(TOLVIK_SOURCE_ROOT "/tests/data/messages");
    messages_ = tmp_.filePath(QStringLiteral("messages"));
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    QVERIFY2(it.hasNext(), qPrintable("no message files in " + source));
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = messages_ + QLatin1Char('/') + QDir(source).relativeFilePath(from);
        QVERIFY(QDir().mkpath(QFileInfo(to).path()));
        QFile file(from);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(from));
        QVERIFY2(WriteFile(to, file.readAll(), kModified), qPrintable(to));
    }
}

void TestMessageReader::sender_data() {
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("bare address") << Bytes("From: joe@example.com\n\n") << Bytes("joe@example.com");
    QTest::newRow("display name") << Bytes("From: Joe Bloggs <joe@example.com>\n")
                                  << Bytes("joe@example.com");
    QTest::newRow("quoted display name with comma and at sign")
        << Bytes("From: \"Bloggs, joe@old.example\" <joe@example.com>\n")
        << Bytes("joe@example.com");
    QTest::newRow("comment after address")
        << Bytes("From: joe@example.com (Joe Bloggs)\n") << Bytes("joe@example.com");
    QTest::newRow("source route") << Bytes("From: <@relay.example:joe@example.com>\n")
                                  << Bytes("joe@example.com");
    QTest::newRow("first of several mailboxes")
        << Bytes("From: a@example.com, Bee <b@example.com>\n") << Bytes("a@example.com");
    QTest::newRow("first mailbox inside a group")
        << Bytes("From: Team: a@example.com, b@example.com;\n") << Bytes("a@example.com");
    QTest::newRow("empty group, then a mailbox")
        << Bytes("From: Nobody:;, b@example.com\n") << Bytes("b@example.com");
    QTest::newRow("From before Sender and Return-Path")
        << Bytes("Return-Path: <rp@example.com>\nSender: s@example.com\nFrom: f@example.com\n")
        << Bytes("f@example.com");
    QTest::newRow("Sender without From")
        << Bytes("Return-Path: <rp@example.com>\nSender: Sue <s@example.com>\n")
        << Bytes("s@example.com");
    QTest::newRow("Sender when From holds no address")
        << Bytes("From: Undisclosed sender:;\nSender: s@example.com\n") << Bytes("s@example.com");
    QTest::newRow("empty From address does not count")
        << Bytes("From: <>\nReturn-Path: <rp@example.com>\n") << Bytes("rp@example.com");
    QTest::newRow("second From when the first has no address")
        << Bytes("From: Joe Bloggs\nFrom: joe@example.com\n") << Bytes("joe@example.com");
    QTest::newRow("Return-Path alone")
        << Bytes("Return-Path: <rp@example.com>\n") << Bytes("rp@example.com");
    QTest::newRow("empty Return-Path") << Bytes("Return-Path: <>\n") << kNoSender;
    QTest::newRow("no sender fields") << Bytes("Subject: hi\nTo: t@example.com\n") << kNoSender;
    QTest::newRow("empty block") << Bytes("") << kNoSender;
    QTest::newRow("lookalike names")
        << Bytes("X-From: x@example.com\nResent-From: r@example.com\nFrom-Address: y@example.com\n")
        << kNoSender;
    QTest::newRow("name in capitals")
        << Bytes("FROM: joe@example.com\n") << Bytes("joe@example.com");
    QTest::newRow("blank before the colon")
        << Bytes("from : joe@example.com\n") << Bytes("joe@example.com");
    QTest::newRow("folded") << Bytes("From: Joe Bloggs\n <joe@example.com>\n")
                            << Bytes("joe@example.com");
    QTest::newRow("folded with CRLF and tab")
        << Bytes("From: Joe\r\n\t<joe@example.com>\r\n\r\n") << Bytes("joe@example.com");
    QTest::newRow("lines ending in CR alone")
        << Bytes("Subject: hi\rFrom: joe@example.com\r\r") << Bytes("joe@example.com");
    QTest::newRow("mbox From line on top")
        << Bytes("From other@example.com Fri Mar  5 09:07:03 2010\nFrom: joe@example.com\n")
        << Bytes("joe@example.com");
    QTest::newRow("junk line before the fields")
        << Bytes("this is not a field\nFrom: joe@example.com\n") << Bytes("joe@example.com");
    QTest::newRow("byte order mark") << Bytes(
                                            "\xEF\xBB\xBF"
                                            "From: joe@example.com\n")
                                     << Bytes("joe@example.com");
    QTest::newRow("continuation of a junk line")
        << Bytes("junk line\n From: joe@example.com\n") << kNoSender;
    QTest::newRow("continuation line first") << Bytes(" From: joe@example.com\n") << kNoSender;
    QTest::newRow("From in the body, LF")
        << Bytes("Subject: hi\n\nFrom: body@example.com\n") << kNoSender;
    QTest::newRow("From in the body, CRLF")
        << Bytes("Subject: hi\r\n\r\nFrom: body@example.com\r\n") << kNoSender;
    QTest::newRow("From in the body, CR")
        << Bytes("Subject: hi\r\rFrom: body@example.com\r") << kNoSender;
    QTest::newRow("From in the body, LF then CRLF")
        << Bytes("Subject: hi\n\r\nFrom: body@example.com\n") << kNoSender;
    QTest::newRow("From in the body, CRLF then LF")
        << Bytes("Subject: hi\r\n\nFrom: body@example.com\n") << kNoSender;
    QTest::newRow("space in a quoted local part")
        << Bytes("From: \"joe bloggs\"@example.com\n") << Bytes("\"joe_bloggs\"@example.com");
    QTest::newRow("tab in a quoted local part")
        << Bytes("From: <\"joe\tbloggs\"@example.com>\n") << Bytes("\"joe_bloggs\"@example.com");
    QTest::newRow("control bytes")
        << Bytes("From: jo\x01\x7f@example.com\n") << Bytes("jo__@example.com");
    QTest::newRow("UTF-8 address kept")
        << Bytes("From: J\xC3\xA9r\xC3\xB4me <j\xC3\xA9r\xC3\xB4me@caf\xC3\xA9.example>\n")
        << Bytes("j\xC3\xA9r\xC3\xB4me@caf\xC3\xA9.example");
    QTest::newRow("Latin-1 address kept")
        << Bytes("From: j\xE9r\xF4me@example.fr\n") << Bytes("j\xE9r\xF4me@example.fr");
    QTest::newRow("Latin-1 address in angle brackets")
        << Bytes("From: J\xE9r\xF4me <j\xE9r\xF4me@example.fr>\n")
        << Bytes("j\xE9r\xF4me@example.fr");
    QTest::newRow("punycode domain kept as written")
        << Bytes("From: joe@xn--caf-dma.example\n") << Bytes("joe@xn--caf-dma.example");
    QTest::newRow("dot before the at sign")
        << Bytes("From: taro.yamada.@docomo.ne.jp\n") << Bytes("taro.yamada.@docomo.ne.jp");
    QTest::newRow("two dots in a row")
        << Bytes("From: Taro <taro..yamada@docomo.ne.jp>\n") << Bytes("taro..yamada@docomo.ne.jp");
    QTest::newRow("unclosed comment")
        << Bytes("From: joe@example.com (Joe\n") << Bytes("joe@example.com");
    QTest::newRow("NUL byte ends the value")
        << Bytes("From: joe@example.com\0junk\n") << Bytes("joe@example.com");
    QTest::newRow("NUL byte first")
        << Bytes("From: \0joe@example.com\nSender: s@example.com\n") << Bytes("s@example.com");
}

void TestMessageReader::sender() {
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, expected);

    MessageReader reader;
    reader.ParseHeaderBlock(headers.toStdString(), kFallback);
    QCOMPARE(QByteArray::fromStdString(reader.MessageSender()), expected);
}

void TestMessageReader::date_data() {
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, const QByteArray& headers, const QString& expected) {
        QTest::newRow(name) << headers << expected;
    };
    row("RFC form, zone west", Bytes("Date: Fri, 05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("zone far east", Bytes("Date: Sat, 06 Mar 2010 01:07:03 +1400\n"), "2010-03-06 01:07:03");
    row("wrong weekday ignored", Bytes("Date: Mon, 05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("no weekday", Bytes("Date: 5 Mar 2010 09:07:03 +0000\n"), kMarch5);
    row("year 00", Bytes("Date: 1 Jan 00 00:00:00 GMT\n"), "2000-01-01 00:00:00");
    row("year 49", Bytes("Date: 31 Dec 49 23:59:59 GMT\n"), "2049-12-31 23:59:59");
    row("year 50", Bytes("Date: 1 Jan 50 00:00:00 GMT\n"), "1950-01-01 00:00:00");
    row("year 69", Bytes("Date: Sun, 20 Jul 69 20:17:40 GMT\n"), "1969-07-20 20:17:40");
    row("year 99", Bytes("Date: 31 Dec 99 23:59:59 GMT\n"), "1999-12-31 23:59:59");
    row("three-digit year", Bytes("Date: Fri, 5 Mar 110 09:07:03 GMT\n"), kMarch5);
    row("three-digit year 099", Bytes("Date: 31 Dec 099 23:59:59 GMT\n"), "1999-12-31 23:59:59");
    row("no seconds", Bytes("Date: Fri, 5 Mar 2010 09:07 -0800\n"), "2010-03-05 09:07:00");
    row("zone UT", Bytes("Date: Fri, 5 Mar 2010 09:07:03 UT\n"), kMarch5);
    row("zone EST", Bytes("Date: Fri, 5 Mar 2010 09:07:03 EST\n"), kMarch5);
    row("zone PDT", Bytes("Date: Fri, 5 Mar 2010 09:07:03 PDT\n"), kMarch5);
    row("military zone", Bytes("Date: Fri, 5 Mar 2010 09:07:03 A\n"), kMarch5);
    row("unknown zone name", Bytes("Date: Fri, 5 Mar 2010 09:07:03 CEST\n"), kMarch5);
    row("no zone", Bytes("Date: Fri, 5 Mar 2010 09:07:03\n"), kMarch5);
    row("zone right after the time", Bytes("Date: 5 Mar 2010 09:07:03-0800\n"), kMarch5);
    row("comment between time and zone", Bytes("Date: Wed, 20 Sep 1995 00:19:00 (EDT) -0400\n"),
        "1995-09-20 00:19:00");
    row("nested comment first", Bytes("Date: (sent (from home)) Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kMarch5);
    row("folded over lines", Bytes("Date: Fri,\n 05 Mar\n\t2010 09:07:03\n -0800\n"), kMarch5);
    row("extra blanks", Bytes("Date:   Fri,  5   Mar  2010   09:07:03   -0800  \n"), kMarch5);
    row("no blanks after colon and comma", Bytes("Date:Fri,05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("full month name in lower case", Bytes("Date: 5 march 2010 09:07:03 +0000\n"), kMarch5);
    row("asctime form", Bytes("Date: Fri Mar  5 09:07:03 2010\n"), kMarch5);
    row("asctime form with zone", Bytes("Date: Fri Mar  5 09:07:03 PST 2010\n"), kMarch5);
    row("leap day", Bytes("Date: Tue, 29 Feb 2000 12:00:00 +0000\n"), "2000-02-29 12:00:00");
    row("leap second", Bytes("Date: 31 Dec 2016 23:59:60 +0000\n"), "2016-12-31 23:59:60");
    row("name in capitals", Bytes("DATE: 5 Mar 2010 09:07:03 +0000\n"), kMarch5);
    row("NUL bytes after the date", Bytes("Date: 5 Mar 2010 09:07:03 +0000\0\0\n"), kMarch5);

    row("31 February", Bytes("Date: 31 Feb 2010 10:00:00 +0000\n"), kFallbackText);
    row("29 February 1900", Bytes("Date: 29 Feb 1900 10:00:00 +0000\n"), kFallbackText);
    row("31 April", Bytes("Date: 31 Apr 2010 10:00:00 +0000\n"), kFallbackText);
    row("day 0", Bytes("Date: 0 Apr 2010 10:00:00 +0000\n"), kFallbackText);
    row("numeric date", Bytes("Date: 1999/01/31\n"), kFallbackText);
    row("numeric date and time", Bytes("Date: 1999/01/31 10:00:00\n"), kFallbackText);
    row("garbage", Bytes("Date: garbage\n"), kFallbackText);
    row("empty", Bytes("Date:\n"), kFallbackText);
    row("no time", Bytes("Date: Fri, 05 Mar 2010\n"), kFallbackText);
    row("hour 25", Bytes("Date: 5 Mar 2010 25:00:00 +0000\n"), kFallbackText);
    row("minute 60", Bytes("Date: 5 Mar 2010 10:60:00 +0000\n"), kFallbackText);
    row("second 61", Bytes("Date: 5 Mar 2010 10:00:61 +0000\n"), kFallbackText);
    row("year 10000", Bytes("Date: 5 Mar 10000 10:00:00 +0000\n"), kFallbackText);
    row("year 0000", Bytes("Date: 5 Mar 0000 10:00:00 +0000\n"), kFallbackText);
    row("one-digit year", Bytes("Date: 5 Mar 7 10:00:00 +0000\n"), kFallbackText);
    row("unknown month", Bytes("Date: 5 Foo 2010 10:00:00 +0000\n"), kFallbackText);
    row("Date in the body", Bytes("Subject: x\n\nDate: Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kFallbackText);

    row("second Date when the first is not a date",
        Bytes("Date: soon\nDate: Fri, 05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("Received without Date", Bytes("Received: from a by b; Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kMarch5);
    row("Received when Date is not a date",
        Bytes("Date: garbage\nReceived: from a by b; Fri, 05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("Date before Received",
        Bytes("Received: from a by b; Sat, 06 Mar 2010 10:00:00 +0000\n"
              "Date: Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kMarch5);
    row("after the last semicolon of Received",
        Bytes("Received: from a (x; y) by b; id 1; Fri, 05 Mar 2010 09:07:03 -0800\n"), kMarch5);
    row("folded Received",
        Bytes("received: from a\n\tby b;\n\tFri, 05 Mar 2010 09:07:03 -0800 (PST)\n"), kMarch5);
    row("Received without weekday",
        Bytes("Received: (qmail 1 invoked); 5 Mar 2010 09:07:03 -0000\n"), kMarch5);
    row("only the first Received counts",
        Bytes("Received: from a by b\nReceived: from c by d; Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kFallbackText);
    row("first Received with a bad date",
        Bytes("Received: from a by b; yesterday\n"
              "Received: from c by d; Fri, 05 Mar 2010 09:07:03 -0800\n"),
        kFallbackText);
}

void TestMessageReader::date() {
    QFETCH(QByteArray, headers);
    QFETCH(QString, expected);

    MessageReader reader;
    reader.ParseHeaderBlock(headers.toStdString(), kFallback);
    QCOMPARE(Text(reader.MessageDate()), expected);
}

// The mail library reads each ':' of a group one level deeper: a From field of thousands of
// them must not overflow the stack of a worker thread.
void TestMessageReader::nestedGroupsOnSmallStack() {
    const std::string headers =
        "From: " + QByteArray(",:").repeated(100000).toStdString() + " joe@example.com\n";
    std::string sender;
    QScopedPointer<QThread> worker(QThread::create([&] {
        MessageReader reader;
        reader.ParseHeaderBlock(headers, kFallback);
        sender = reader.MessageSender();
    }));
    worker->setStackSize(512 * 1024);
    worker->start();
    QVERIFY(worker->wait(60000));
    QCOMPARE(QByteArray::fromStdString(sender), QByteArray("joe@example.com"));
}

void TestMessageReader::headerBlockIsCapped_data() {
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QString>("expected");

    const QByteArray from = "From: joe@example.com\n";
    const QByteArray date = "Date: Fri, 05 Mar 2010 09:07:03 -0800\n\n";
    QTest::newRow("Date within the first MiB")
        << from + FillerLines(900 * 1024, 100, "\n") + date << kMarch5;
    QTest::newRow("Date beyond the first MiB")
        << from + FillerLines(1100 * 1024, 100, "\n") + date << kFallbackText;
    QTest::newRow("one long line, Date beyond the first MiB")
        << from + "Subject: " + QByteArray(2 * 1024 * 1024, 'x') + "\n" + date << kFallbackText;
}

void TestMessageReader::headerBlockIsCapped() {
    QFETCH(QByteArray, headers);
    QFETCH(QString, expected);

    MessageReader reader;
    reader.ParseHeaderBlock(headers.toStdString(), kFallback);
    QCOMPARE(QByteArray::fromStdString(reader.MessageSender()), QByteArray("joe@example.com"));
    QCOMPARE(Text(reader.MessageDate()), expected);
}

void TestMessageReader::loadMessage_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("sender");
    QTest::addColumn<QString>("date");

    const QByteArray joe = "joe@example.com";
    const QByteArray date = "Date: Fri, 05 Mar 2010 09:07:03 -0800";
    QTest::newRow("empty file") << QByteArray() << kNoSender << kModifiedText;
    QTest::newRow("only CR bytes") << QByteArray(5000, '\r') << kNoSender << kModifiedText;
    QTest::newRow("binary with NUL bytes")
        << Bytes("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x01\0\xFF\xFE\x00\x7F") << kNoSender
        << kModifiedText;
    QTest::newRow("NUL bytes inside the header")
        << "From: joe@example.com\nX-Junk: a" + Bytes("\0\0b\0\n") + date + "\n\nbody" << joe
        << kMarch5;
    QTest::newRow("no empty line, no final line end")
        << "From: joe@example.com\n" + date << joe << kMarch5;
    QTest::newRow("lines ending in CR alone")
        << "From: joe@example.com\r" + date + "\r\rFrom: body@example.com\r" << joe << kMarch5;
    QTest::newRow("fields in the body are not read")
        << "Subject: x\n\nFrom: body@example.com\n" + date + "\n"
        << kNoSender << kModifiedText;
    QTest::newRow("header spanning several reads")
        << "From: joe@example.com\n" + FillerLines(200 * 1024, 77, "\n") + date + "\n\nbody" << joe
        << kMarch5;
    // Reads come in 64 KiB pieces: here a CRLF is cut in two by the first read, which must not
    // be taken for an empty line.
    QTest::newRow("CRLF cut between reads")
        << "From: joe@example.com\r\n" + FillerLines(65536 - 22, 65536 - 22, "\r\n") + date +
               "\r\n\r\nbody"
        << joe << kMarch5;
    QTest::newRow("20 MB line after the fields")
        << "From: joe@example.com\nSubject: " + QByteArray(20 * 1024 * 1024, 'x') << joe
        << kModifiedText;
    QTest::newRow("20 MB line and nothing else")
        << QByteArray(20 * 1024 * 1024, 'x') << kNoSender << kModifiedText;
}

void TestMessageReader::loadMessage() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, sender);
    QFETCH(QString, date);

    if (QByteArray(QTest::currentDataTag()) == "CRLF cut between reads") {
        QCOMPARE(content.indexOf("\r\nDate"), 65535);  // the fixture puts the CR last in a read
    }
    const QString path = tmp_.filePath(QStringLiteral("message.eml"));
    QVERIFY(WriteFile(path, content, kModified));
    MessageReader reader;
    std::string reason;
    QVERIFY(reader.LoadMessage(QFile::encodeName(path).toStdString(), &reason));
    QCOMPARE(QByteArray::fromStdString(reader.MessageSender()), sender);
    QCOMPARE(Text(reader.MessageDate()), date);
}

void TestMessageReader::loadFailure_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");

    const QString base = tmp_.path();
    QVERIFY(QDir().mkpath(base + "/folder.eml"));
    QVERIFY(WriteFile(base + "/plain.eml", "From: joe@example.com\n", kModified));
    QVERIFY(QFile::link(base + "/gone.eml", base + "/dangling.eml"));

    QTest::newRow("missing file") << base + "/missing.eml"
                                  << "it does not exist";
    QTest::newRow("folder") << base + "/folder.eml"
                            << "it is a folder, not a file";
    QTest::newRow("dangling link") << base + "/dangling.eml"
                                   << "it does not exist";
    QTest::newRow("file used as a folder") << base + "/plain.eml/inner.eml"
                                           << "a file stands where a folder is needed";
    // Opens fine, but reading its first page fails.
    QTest::newRow("read fails") << "/proc/self/mem"
                                << "the disk reported an input/output error";
}

void TestMessageReader::loadFailure() {
    QFETCH(QString, path);
    QFETCH(QString, reason);

    if (path.startsWith("/proc/") && !QFile::exists(path)) {
        QSKIP("no /proc on this system");
    }
    MessageReader reader;
    std::string why;
    QVERIFY(!reader.LoadMessage(QFile::encodeName(path).toStdString(), &why));
    QCOMPARE(QString::fromStdString(why), reason);
}

void TestMessageReader::formatMboxDate_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ordinary") << 2010 << 3 << 5 << 9 << 7 << 3 << "Fri Mar 05 09:07:03 2010";
    QTest::newRow("leap day") << 2000 << 2 << 29 << 0 << 0 << 0 << "Tue Feb 29 00:00:00 2000";
    QTest::newRow("after February of a century")
        << 1900 << 3 << 1 << 12 << 34 << 56 << "Thu Mar 01 12:34:56 1900";
    QTest::newRow("February of a century")
        << 1900 << 2 << 28 << 23 << 59 << 59 << "Wed Feb 28 23:59:59 1900";
    QTest::newRow("leap second") << 2016 << 12 << 31 << 23 << 59 << 60
                                 << "Sat Dec 31 23:59:60 2016";
    QTest::newRow("first year") << 1 << 1 << 1 << 0 << 0 << 0 << "Mon Jan 01 00:00:00 0001";
    QTest::newRow("last year") << 9999 << 12 << 31 << 23 << 59 << 59 << "Fri Dec 31 23:59:59 9999";
}

void TestMessageReader::formatMboxDate() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QString, expected);

    const std::string text = FormatMboxDate({year, month, day, hour, minute, second});
    QCOMPARE(QString::fromStdString(text), expected);
}

void TestMessageReader::weekdayMatchesCalendar() {
    for (QDate day(1, 1, 1); day.year() <= 9999; day = day.addDays(1)) {
        if (WeekdayOf(day.year(), day.month(), day.day()) != day.dayOfWeek() % 7) {
            QFAIL(qPrintable("wrong weekday for " + day.toString(Qt::ISODate)));
        }
    }
}

void TestMessageReader::projectMessages_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("sender");
    QTest::addColumn<QString>("date");

    const auto row = [](const char* file, const char* sender, const QString& date) {
        QTest::newRow(file) << QString::fromLatin1(file) << QByteArray(sender) << date;
    };
    row("Inbox/plain.eml", "ann@example.org", kMarch5);
    row("Inbox/multipart.eml", "carol@example.com", "2021-11-15 14:30:00");
    row("Inbox/encoded-words.eml", "jerome@example.fr", "2010-03-06 10:15:00");
    row("Inbox/sender-only.eml", "robot@lists.example.net", "2010-03-09 06:00:00");
    row("Inbox/return-path-only.eml", "bounces+1234@mailer.example.com", "2010-03-10 07:59:58");
    row("Inbox/received-date.eml", "dave@example.net", "2010-03-11 22:45:12");
    row("Inbox/obsolete-date-two-digit-year.eml", "old-timer@example.edu", "1995-05-07 16:21:03");
    row("Inbox/obsolete-date-asctime.eml", "unix@example.com", kMarch5);
    row("Inbox/obsolete-date-comment.eml", "recipient@example.com", "1995-09-20 00:19:00");
    row("Odd/byte-order-mark.eml", "editor@example.org", "2010-03-07 12:00:00");
    row("Odd/envelope-line.eml", "frank@example.net", "2010-03-08 08:59:30");
    row("Odd/cr-only.eml", "oldmac@example.com", "2010-03-12 18:30:00");
    row("Odd/lf-only.eml", "user@example.org", "2010-03-13 07:00:00");
    row("Odd/nul-bytes.eml", "disk@example.com", "2010-03-14 03:33:33");
    row("Odd/empty.eml", "MAILER-DAEMON", kModifiedText);
}

void TestMessageReader::projectMessages() {
    QFETCH(QString, file);
    QFETCH(QByteArray, sender);
    QFETCH(QString, date);

    const QString path = messages_ + QLatin1Char('/') + file;
    QVERIFY2(QFileInfo(path).isFile(), qPrintable("no message file " + path));
    MessageReader reader;
    std::string why;
    QVERIFY2(reader.LoadMessage(QFile::encodeName(path).toStdString(), &why), why.c_str());
    QCOMPARE(QByteArray::fromStdString(reader.MessageSender()), sender);
    QCOMPARE(Text(reader.MessageDate()), date);
}

QTEST_APPLESS_MAIN(TestMessageReader)
#include "test_core_message_reader.moc"
