// The order names are listed in within a folder, which message paths are taken, and how the
// in-memory tree answers lookups in each path style.
#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "MessageFiles.h"

using tolvik::FolderListing;
using tolvik::MemoryFileSystem;
using tolvik::NaturalLess;
using tolvik::PathStyle;

class TestScanOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void naturalLess_data();
    void naturalLess();
    void naturalOrderIsTotalAndStable();
    void isMessagePath_data();
    void isMessagePath();
    void memoryLookups_data();
    void memoryLookups();
    void memoryListsInStoredCase();
};

void TestScanOrder::naturalLess_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("less");
    QTest::addColumn<bool>("greater");

    QTest::newRow("numbers by value")
        << QByteArray("2.eml") << QByteArray("10.eml") << true << false;
    QTest::newRow("numbers inside names")
        << QByteArray("msg9b") << QByteArray("msg10a") << true << false;
    QTest::newRow("second number decides")
        << QByteArray("a1b10") << QByteArray("a1b9") << false << true;
    QTest::newRow("number longer than 64 bits")
        << QByteArray("x99999999999999999999999") << QByteArray("x100000000000000000000000") << true
        << false;
    QTest::newRow("letters ignore case")
        << QByteArray("apple") << QByteArray("Banana") << true << false;
    QTest::newRow("case only: bytes decide")
        << QByteArray("Inbox") << QByteArray("inbox") << true << false;
    QTest::newRow("leading zeros: value ties, bytes decide")
        << QByteArray("01.eml") << QByteArray("1.eml") << true << false;
    QTest::newRow("leading zeros do not change value")
        << QByteArray("007.eml") << QByteArray("10.eml") << true << false;
    QTest::newRow("prefix first") << QByteArray("mail") << QByteArray("mail2") << true << false;
    QTest::newRow("dot before letters")
        << QByteArray(".hidden") << QByteArray("a") << true << false;
    QTest::newRow("digits before letters") << QByteArray("9") << QByteArray("a") << true << false;
    QTest::newRow("underscore before letters of either case")
        << QByteArray("a_b") << QByteArray("aZ") << true << false;
    QTest::newRow("bytes outside ASCII after ASCII")
        << QByteArray("caf\xe9") << QByteArray("cafz") << false << true;
    QTest::newRow("equal names") << QByteArray("x.eml") << QByteArray("x.eml") << false << false;
    QTest::newRow("empty first") << QByteArray("") << QByteArray("0") << true << false;
}

void TestScanOrder::naturalLess() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, less);
    QFETCH(bool, greater);
    const std::string_view left(a.constData(), a.size());
    const std::string_view right(b.constData(), b.size());
    QCOMPARE(NaturalLess(left, right), less);
    QCOMPARE(NaturalLess(right, left), greater);
}

// Sorting any arrangement of a mixed set of names gives one and the same order, the one a
// file manager shows.
void TestScanOrder::naturalOrderIsTotalAndStable() {
    const std::vector<std::string> expected = {
        ".Hidden", ".hidden", "01.eml", "1.eml", "2.eml", "10.eml", "A1",    "a02",
        "a2",      "a10",     "B.eml",  "b.EML", "b.eml", "box9",   "Box10", "caf\xc3\xa9"};
    std::vector<std::string> names = expected;
    std::sort(names.begin(), names.end());
    int arrangements = 0;
    do {
        std::vector<std::string> sorted = names;
        std::sort(sorted.begin(), sorted.end(),
                  [](const std::string& x, const std::string& y) { return NaturalLess(x, y); });
        if (sorted != expected) {
            QFAIL(qPrintable(QStringLiteral("arrangement %1 sorts differently").arg(arrangements)));
        }
        std::rotate(names.begin(), names.begin() + 3, names.end());
        std::reverse(names.begin() + 1, names.begin() + 9);
        ++arrangements;
    } while (arrangements < 40);
}

void TestScanOrder::isMessagePath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("message");
    QTest::newRow("lower case") << QByteArray(R"(C:\Mail\c.eml)") << true;
    QTest::newRow("upper case") << QByteArray(R"(C:\Mail\a.EML)") << true;
    QTest::newRow("mixed case") << QByteArray("/m/b.Eml") << true;
    QTest::newRow("trailing spaces") << QByteArray("/m/b.eml  ") << true;
    QTest::newRow("leading spaces") << QByteArray("  x.eml") << true;
    QTest::newRow("extension alone") << QByteArray(".eml") << true;
    QTest::newRow("not valid UTF-8") << QByteArray("/m/caf\xe9.eml") << true;
    QTest::newRow("backup copy") << QByteArray("/m/d.eml.bak") << false;
    QTest::newRow("emlx") << QByteArray("/m/e.emlx") << false;
    QTest::newRow("text") << QByteArray("/m/f.txt") << false;
    QTest::newRow("no dot") << QByteArray("/m/xeml") << false;
    QTest::newRow("folder named .eml") << QByteArray("/m/x.eml/") << false;
    QTest::newRow("short") << QByteArray("eml") << false;
    QTest::newRow("spaces only") << QByteArray("    ") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("tab is not a space") << QByteArray("/m/x.eml\t") << false;
}

void TestScanOrder::isMessagePath() {
    QFETCH(QByteArray, path);
    QTEST(tolvik::IsMessagePath(std::string_view(path.constData(), path.size())), "message");
}

void TestScanOrder::memoryLookups_data() {
    QTest::addColumn<bool>("posix");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("folder");

    QTest::newRow("windows: as added") << false << R"(D:\Mail\Inbox)" << true;
    QTest::newRow("windows: other case") << false << R"(d:\MAIL\inbox\)" << true;
    QTest::newRow("windows: drive root") << false << R"(D:\)" << true;
    QTest::newRow("windows: file") << false << R"(D:\Mail\Inbox\x.eml)" << false;
    QTest::newRow("windows: missing") << false << R"(D:\Mail\Outbox)" << false;
    QTest::newRow("windows: slash is no separator") << false << "D:/Mail" << false;
    QTest::newRow("windows: empty") << false << "" << false;
    QTest::newRow("posix: as added") << true << "/home/m/Mail" << true;
    QTest::newRow("posix: case matters") << true << "/home/m/mail" << false;
    QTest::newRow("posix: root") << true << "/" << true;
    QTest::newRow("posix: file") << true << "/home/m/Mail/x.eml" << false;
    QTest::newRow("posix: empty") << true << "" << false;
}

void TestScanOrder::memoryLookups() {
    QFETCH(bool, posix);
    QFETCH(QString, path);
    MemoryFileSystem fs(posix ? PathStyle::Posix : PathStyle::Windows);
    if (posix) {
        QVERIFY(fs.AddFile("/home/m/Mail/x.eml"));
    } else {
        QVERIFY(fs.AddFile(R"(D:\Mail\Inbox\x.eml)"));
    }
    QTEST(fs.FolderExists(path.toStdString()), "folder");
}

void TestScanOrder::memoryListsInStoredCase() {
    MemoryFileSystem fs(PathStyle::Windows);
    QVERIFY(fs.AddFolder(R"(D:\Mail\Inbox)"));
    QVERIFY(fs.AddFile(R"(d:\mail\INBOX\Note.EML)"));
    QVERIFY(fs.AddFile(R"(D:\Mail\a.eml)"));
    QVERIFY(!fs.AddFolder(R"(D:\Mail\A.EML)"));  // a file holds that name
    QVERIFY(!fs.AddFile(R"(D:\MAIL)"));          // a folder holds that name
    QVERIFY(!fs.AddFile(R"(D:\Mail\a.eml\x.eml)"));

    FolderListing listing;
    QVERIFY(fs.ListFolder(R"(d:\mail)", listing));
    QCOMPARE(listing.folders, std::vector<std::string>{"Inbox"});
    QCOMPARE(listing.files, std::vector<std::string>{"a.eml"});
    QVERIFY(fs.ListFolder(R"(D:\Mail\Inbox\)", listing));
    QCOMPARE(listing.files, std::vector<std::string>{"Note.EML"});

    QVERIFY(fs.SetUnreadable(R"(D:\mail\inbox)"));
    QVERIFY(fs.FolderExists(R"(D:\Mail\Inbox)"));
    QVERIFY(!fs.ListFolder(R"(D:\Mail\Inbox)", listing));
    QVERIFY(listing.files.empty());
    QVERIFY(!fs.SetUnreadable(R"(D:\Mail\a.eml)"));

    QVERIFY(fs.Remove(R"(D:\MAIL\INBOX)"));
    QVERIFY(!fs.FolderExists(R"(D:\Mail\Inbox)"));
    QVERIFY(!fs.Remove(R"(D:\Mail\Inbox)"));
}

QTEST_GUILESS_MAIN(TestScanOrder)
#include "test_core_scan_order.moc"
