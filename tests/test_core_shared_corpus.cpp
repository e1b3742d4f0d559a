// The message reader on the shared corpus of real-world messages, ../shared/corpus beside the
// project root: every file is read into a sender and a date that fit a separator line, and a
// few files get the sender and date their header blocks give. A clone without the shared
// corpus reports this whole test as skipped (the project's own messages in tests/data are
// read by test_core_message_reader either way).
#include <QtTest>

#include <string>

#include "MessageReader.h"

using tolvik::FormatMboxDate;
using tolvik::MessageDateTime;
using tolvik::MessageReader;

namespace {

QString Text(const MessageDateTime& when) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                             when.hour, when.minute, when.second);
}

bool IsValidDate(const MessageDateTime& when) {
    return when.year >= 1 && when.year <= 9999 && QDate::isValid(when.year, when.month, when.day) &&
           when.hour >= 0 && when.hour <= 23 && when.minute >= 0 && when.minute <= 59 &&
           when.second >= 0 && when.second <= 60;
}

bool FitsSeparatorLine(const std::string& sender) {
    for (char c : sender) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return !sender.empty();
}

}  // namespace

class TestSharedCorpus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void corpusFilesAllRead();
    void corpusExamples_data();
    void corpusExamples();

private:
    QTemporaryDir tmp_;
    QString corpus_;  // a copy of the shared corpus in tmp_ (the shared files are read-only)
};

void TestSharedCorpus::initTestCase() {
    const QString source = QStringLiteral(TOLVIK_SOURCE_ROOT "/../shared/corpus");
    if (!QFileInfo(source).isDir()) {
        // tests/CMakeLists.txt reports the test as skipped on this text.
        QSKIP(qPrintable("no shared corpus at ../shared/corpus beside the project root (" +
                         QDir::cleanPath(source) + "); its real-world messages are not read"));
    }
    QVERIFY(tmp_.isValid());
    corpus_ = tmp_.filePath(QStringLiteral("corpus"));
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = corpus_ + QLatin1Char('/') + QDir(source).relativeFilePath(from);
        QVERIFY(QDir().mkpath(QFileInfo(to).path()));
        QVERIFY2(QFile::copy(from, to), qPrintable(from));
    }
}

void TestSharedCorpus::corpusFilesAllRead() {
    QStringList files;
    QDirIterator it(corpus_, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).fileName();
        if (name != "README.md" && name != "LICENSE") {
            files << path;
        }
    }
    QVERIFY2(!files.isEmpty(), qPrintable("no corpus files in " + corpus_));
    for (const QString& path : files) {
        MessageReader reader;
        std::string why;
        QVERIFY2(reader.LoadMessage(QFile::encodeName(path).toStdString(), &why),
                 qPrintable(path + ": " + QString::fromStdString(why)));
        QVERIFY2(
            FitsSeparatorLine(reader.MessageSender()),
            qPrintable(path + ": sender '" + QString::fromStdString(reader.MessageSender()) + "'"));
        QVERIFY2(IsValidDate(reader.MessageDate()),
                 qPrintable(path + ": date " + Text(reader.MessageDate())));
        QVERIFY2(FormatMboxDate(reader.MessageDate()).size() == 24, qPrintable(path));
    }
}

void TestSharedCorpus::corpusExamples_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("sender");
    QTest::addColumn<QString>("date");

    // Two-digit year, and Sender after From.
    QTest::newRow("epilogue") << "mimekit/epilogue.txt" << QByteArray("pcu@umich.edu")
                              << "1995-05-07 16:21:03";
    // A comment between the time and the zone.
    QTest::newRow("disposition-notification")
        << "mimekit/disposition-notification.txt" << QByteArray("Joe_Recipient@example.com")
        << "1995-09-20 00:19:00";
    // A comment after the address, and an empty Return-Path below it.
    QTest::newRow("bounce") << "mimekit/bounce.txt" << QByteArray("MAILER-DAEMON@hmail.jitbit.com")
                            << "2022-01-26 04:06:48";
    // A 1 MB message behind a chain of Received fields.
    QTest::newRow("large_text") << "mailparser/large_text.eml" << QByteArray("brian@ubuntu.com")
                                << "2011-08-03 17:43:19";
}

void TestSharedCorpus::corpusExamples() {
    QFETCH(QString, file);
    QFETCH(QByteArray, sender);
    QFETCH(QString, date);

    MessageReader reader;
    std::string why;
    QVERIFY2(reader.LoadMessage(QFile::encodeName(corpus_ + "/" + file).toStdString(), &why),
             why.c_str());
    QCOMPARE(QByteArray::fromStdString(reader.MessageSender()), sender);
    QCOMPARE(Text(reader.MessageDate()), date);
}

QTEST_APPLESS_MAIN(TestSharedCorpus)
#include "test_core_shared_corpus.moc"
