// The folder scanner on trees built in memory: keys, positions, both modes, the start
// folder's forms, folders that cannot be listed, and who holds the lists.
#include <QtTest>

#include <memory>
#include <string>

#include "FileSystem.h"
#include "KeyedList.h"
#include "pathLogger.h"

using tolvik::FolderListing;
using tolvik::KeyedList;
using tolvik::MemoryFileSystem;
using tolvik::pathLogger;
using tolvik::PathStyle;

namespace {

// Builds a tree from entries such as "D:\Mail\a.eml" (a file) and "D:\Mail\Empty\" (a folder,
// it ends in the separator). A leading "!" marks a folder that cannot be listed.
std::shared_ptr<MemoryFileSystem> MakeTree(PathStyle style, const QStringList& entries) {
    auto fs = std::make_shared<MemoryFileSystem>(style);
    const QChar separator = QChar::fromLatin1(tolvik::SeparatorOf(style));
    for (QString entry : entries) {
        const bool unreadable = entry.startsWith(u'!');
        if (unreadable) {
            entry.remove(0, 1);
        }
        const std::string path = entry.toStdString();
        if (entry.endsWith(separator)) {
            if (!fs->AddFolder(path)) {
                qFatal("cannot add folder %s", path.c_str());
            }
        } else if (!fs->AddFile(path)) {
            qFatal("cannot add file %s", path.c_str());
        }
        if (unreadable && !fs->SetUnreadable(path)) {
            qFatal("cannot mark %s", path.c_str());
        }
    }
    return fs;
}

// The tree of the worked example: D:\Mail with two files and the subfolders Inbox (with Old
// below it) and Sent.
QStringList MailTree() {
    return {R"(D:\Mail\a.eml)", R"(D:\Mail\notes.txt)", R"(D:\Mail\Inbox\x.eml)",
            R"(D:\Mail\Inbox\Old\z.eml)", R"(D:\Mail\Sent\y.eml)"};
}

pathLogger MakeScanner(const std::shared_ptr<MemoryFileSystem>& fs) {
    return pathLogger(fs->Style(), [fs] { return fs; });
}

// "key value" for every entry, in list order.
template <typename T>
QStringList Entries(const KeyedList<T>& list) {
    QStringList entries;
    for (int position = 1; position <= list.Count(); ++position) {
        QString value;
        if constexpr (std::is_same_v<T, std::string>) {
            value = QString::fromStdString(list.Item(position));
        } else {
            value = QString::number(list.Item(position));
        }
        entries << QString::fromStdString(list.KeyAt(position)) + u' ' + value;
    }
    return entries;
}

// Counts the services made and tells whether the scanner still holds the last one.
struct CountingFactory {
    int made = 0;
    std::weak_ptr<tolvik::FileSystem> last;
};

}  // namespace

class TestScanner : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyedListKeepsOrderAndKeys();
    void keyedListRejectsHeldKey();
    void keyedListOutOfRange();

    void walk_data();
    void walk();
    void badStartChangesNothing_data();
    void badStartChangesNothing();
    void secondWalkWithoutInitChangesNothing();
    void listsTakenOutliveTheScanner();
    void listOfScannerHoldingNoneIsNewAndHeld();
    void lifecycle();
    void folderRemovedDuringWalkIsSkipped();
};

void TestScanner::keyedListKeepsOrderAndKeys() {
    KeyedList<std::string> list;
    QVERIFY(list.Add("K0", "zero"));
    QVERIFY(list.Add("K2", "two"));
    QVERIFY(list.Add("K10", "ten"));
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.Item(1), std::string("zero"));
    QCOMPARE(list.Item(3), std::string("ten"));
    QCOMPARE(list.Item("K2"), std::string("two"));
    QCOMPARE(list.KeyAt(3), std::string("K10"));
    QCOMPARE(list.PositionOf("K10"), 3);
    QCOMPARE(list.PositionOf("K1"), 0);
    QVERIFY(list.ItemByKey("K1") == nullptr);
    QVERIFY(list.Contains("K0"));
    QVERIFY(!list.Contains("k0"));  // keys are compared byte for byte
    QStringList inOrder;
    for (const auto& value : list) {
        inOrder << QString::fromStdString(value);
    }
    QCOMPARE(inOrder, QStringList({"zero", "two", "ten"}));
}

void TestScanner::keyedListRejectsHeldKey() {
    KeyedList<int> list;
    QVERIFY(list.Add("K1", 1));
    QVERIFY(list.Add("K2", 2));
    QVERIFY(!list.Add("K1", 99));
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.Item("K1"), 1);
    QCOMPARE(list.Item(1), 1);
    QCOMPARE(list.Item(2), 2);
    // The rejected add left no trace: a fresh key still goes to the next position.
    QVERIFY(list.Add("K3", 3));
    QCOMPARE(list.PositionOf("K3"), 3);
}

void TestScanner::keyedListOutOfRange() {
    KeyedList<std::string> list;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item(1));
    QVERIFY(list.Add("K0", "x"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item(2));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item("K1"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.KeyAt(2));
}

void TestScanner::walk_data() {
    QTest::addColumn<bool>("posix");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("fullOnly");
    QTest::addColumn<QStringList>("pathNames");
    QTest::addColumn<QStringList>("fullFileNames");
    QTest::addColumn<QStringList>("fileNames");
    QTest::addColumn<QStringList>("pathPointers");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("skipped");

    const QStringList mailFolders = {R"(K0 D:\Mail\)", R"(K2 D:\Mail\Inbox\)",
                                     R"(K3 D:\Mail\Sent\)", R"(K4 D:\Mail\Inbox\Old\)"};
    const QStringList mailFiles = {R"(K1 D:\Mail\a.eml)", R"(K2 D:\Mail\notes.txt)",
                                   R"(K3 D:\Mail\Inbox\x.eml)", R"(K4 D:\Mail\Sent\y.eml)",
                                   R"(K5 D:\Mail\Inbox\Old\z.eml)"};
    const QStringList mailNames = {"K1 a.eml", "K2 notes.txt", "K3 x.eml", "K4 y.eml", "K5 z.eml"};
    const QStringList mailPointers = {"K1 1", "K2 1", "K3 2", "K4 3", "K5 4"};

    QTest::newRow("worked example, full paths only")
        << false << MailTree() << R"(D:\Mail)" << true << mailFolders << mailFiles << QStringList()
        << QStringList() << 6 << QStringList();
    QTest::newRow("worked example, all lists")
        << false << MailTree() << R"(D:\Mail)" << false << mailFolders << mailFiles << mailNames
        << mailPointers << 6 << QStringList();
    QTest::newRow("trailing backslash gives the same lists")
        << false << MailTree() << R"(D:\Mail\)" << false << mailFolders << mailFiles << mailNames
        << mailPointers << 6 << QStringList();
    QTest::newRow("letter case of the start folder carries into every entry")
        << false << MailTree() << R"(d:\mail)" << true
        << QStringList{R"(K0 d:\mail\)", R"(K2 d:\mail\Inbox\)", R"(K3 d:\mail\Sent\)",
                       R"(K4 d:\mail\Inbox\Old\)"}
        << QStringList{R"(K1 d:\mail\a.eml)", R"(K2 d:\mail\notes.txt)",
                       R"(K3 d:\mail\Inbox\x.eml)", R"(K4 d:\mail\Sent\y.eml)",
                       R"(K5 d:\mail\Inbox\Old\z.eml)"}
        << QStringList() << QStringList() << 6 << QStringList();

    const QStringList driveTree = {R"(D:\top.eml)", R"(D:\Mail\x.eml)", R"(D:\Archive\)"};
    const QStringList driveFolders = {R"(K0 D:\)", R"(K2 D:\Archive\)", R"(K3 D:\Mail\)"};
    const QStringList driveFiles = {R"(K1 D:\top.eml)", R"(K2 D:\Mail\x.eml)"};
    QTest::newRow("drive root keeps its single backslash")
        << false << driveTree << R"(D:\)" << true << driveFolders << driveFiles << QStringList()
        << QStringList() << 3 << QStringList();
    QTest::newRow("drive without backslash")
        << false << driveTree << "D:" << true << driveFolders << driveFiles << QStringList()
        << QStringList() << 3 << QStringList();
    QTest::newRow("POSIX root keeps its single slash")
        << true << QStringList{"/home/m/a.eml", "/b.eml"} << "/" << false
        << QStringList{"K0 /", "K2 /home/", "K3 /home/m/"}
        << QStringList{"K1 /b.eml", "K2 /home/m/a.eml"} << QStringList{"K1 b.eml", "K2 a.eml"}
        << QStringList{"K1 1", "K2 3"} << 3 << QStringList();

    QTest::newRow("empty folder") << false << QStringList{R"(D:\Empty\)"} << R"(D:\Empty)" << false
                                  << QStringList{R"(K0 D:\Empty\)"} << QStringList()
                                  << QStringList() << QStringList() << 1 << QStringList();
    QTest::newRow("one file") << false << QStringList{R"(D:\One\only.eml)"} << R"(D:\One)" << false
                              << QStringList{R"(K0 D:\One\)"}
                              << QStringList{R"(K1 D:\One\only.eml)"} << QStringList{"K1 only.eml"}
                              << QStringList{"K1 1"} << 2 << QStringList();
    QTest::newRow("folders only, deep")
        << false << QStringList{R"(D:\A\B\C\D\)", R"(D:\A\E\)"} << R"(D:\A)" << true
        << QStringList{R"(K0 D:\A\)", R"(K2 D:\A\B\)", R"(K3 D:\A\E\)", R"(K4 D:\A\B\C\)",
                       R"(K5 D:\A\B\C\D\)"}
        << QStringList() << QStringList() << QStringList() << 1 << QStringList();
    QTest::newRow("hidden-looking names and every extension are listed")
        << true << QStringList{"/m/.hidden/x.eml", "/m/.profile", "/m/b.EML", "/m/c"} << "/m"
        << true << QStringList{"K0 /m/", "K2 /m/.hidden/"}
        << QStringList{"K1 /m/.profile", "K2 /m/b.EML", "K3 /m/c", "K4 /m/.hidden/x.eml"}
        << QStringList() << QStringList() << 5 << QStringList();
    QTest::newRow("natural order within a folder")
        << true
        << QStringList{"/m/10.eml", "/m/2.eml", "/m/B.eml", "/m/a.eml", "/m/box10/", "/m/Box2/"}
        << "/m" << true << QStringList{"K0 /m/", "K2 /m/Box2/", "K3 /m/box10/"}
        << QStringList{"K1 /m/2.eml", "K2 /m/10.eml", "K3 /m/a.eml", "K4 /m/B.eml"} << QStringList()
        << QStringList() << 5 << QStringList();

    QTest::newRow("unreadable subfolder is skipped, the walk goes on")
        << false
        << QStringList{R"(D:\Mail\a.eml)", R"(!D:\Mail\Inbox\)", R"(D:\Mail\Inbox\x.eml)",
                       R"(D:\Mail\Inbox\Old\z.eml)", R"(D:\Mail\Sent\y.eml)"}
        << R"(D:\Mail)" << false
        << QStringList{R"(K0 D:\Mail\)", R"(K2 D:\Mail\Inbox\)", R"(K3 D:\Mail\Sent\)"}
        << QStringList{R"(K1 D:\Mail\a.eml)", R"(K2 D:\Mail\Sent\y.eml)"}
        << QStringList{"K1 a.eml", "K2 y.eml"} << QStringList{"K1 1", "K2 3"} << 3
        << QStringList{R"(D:\Mail\Inbox\)"};
    QTest::newRow("unreadable start folder")
        << false << QStringList{R"(!D:\Mail\)", R"(D:\Mail\a.eml)"} << R"(D:\Mail)" << true
        << QStringList{R"(K0 D:\Mail\)"} << QStringList() << QStringList() << QStringList() << 1
        << QStringList{R"(D:\Mail\)"};
}

void TestScanner::walk() {
    QFETCH(bool, posix);
    QFETCH(QStringList, tree);
    QFETCH(QString, start);
    QFETCH(bool, fullOnly);

    auto fs = MakeTree(posix ? PathStyle::Posix : PathStyle::Windows, tree);
    pathLogger scanner = MakeScanner(fs);
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(fullOnly);
    scanner.LogPath(start.toStdString());

    QTEST(Entries(*scanner.pathNames()), "pathNames");
    QTEST(Entries(*scanner.fullFileNames()), "fullFileNames");
    QTEST(Entries(*scanner.fileNames()), "fileNames");
    QTEST(Entries(*scanner.pathPointers()), "pathPointers");
    QTEST(int(scanner.Count()), "count");
    QStringList skipped;
    for (const auto& path : scanner.SkippedFolderPaths()) {
        skipped << QString::fromStdString(path);
    }
    QTEST(skipped, "skipped");
    QCOMPARE(scanner.SkippedFolders(), int(skipped.size()));
}

void TestScanner::badStartChangesNothing_data() {
    QTest::addColumn<QString>("start");
    QTest::newRow("missing folder") << R"(D:\Nope)";
    QTest::newRow("missing folder below a file") << R"(D:\Mail\a.eml\Inbox)";
    QTest::newRow("path naming a file") << R"(D:\Mail\a.eml)";
    QTest::newRow("empty text") << "";
    QTest::newRow("separator only") << R"(\)";
}

void TestScanner::badStartChangesNothing() {
    QFETCH(QString, start);
    auto fs = MakeTree(PathStyle::Windows, MailTree());

    // On a new scanner: empty lists, Count stays 0.
    pathLogger fresh = MakeScanner(fs);
    fresh.PathLogInit();
    fresh.LogPath(start.toStdString());
    QCOMPARE(fresh.Count(), 0);
    QCOMPARE(fresh.pathNames()->Count(), 0);
    QCOMPARE(fresh.fullFileNames()->Count(), 0);
    QCOMPARE(fresh.SkippedFolders(), 0);

    // After a walk: without PathLogInit the filled lists stay as they were...
    pathLogger scanner = MakeScanner(fs);
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(false);
    scanner.LogPath(R"(D:\Mail)");
    const QStringList folders = Entries(*scanner.pathNames());
    const QStringList files = Entries(*scanner.fullFileNames());
    const QStringList names = Entries(*scanner.fileNames());
    const QStringList pointers = Entries(*scanner.pathPointers());
    scanner.LogPath(start.toStdString());
    QCOMPARE(scanner.Count(), 6);
    QCOMPARE(Entries(*scanner.pathNames()), folders);
    QCOMPARE(Entries(*scanner.fullFileNames()), files);
    QCOMPARE(Entries(*scanner.fileNames()), names);
    QCOMPARE(Entries(*scanner.pathPointers()), pointers);

    // ...and after PathLogInit the lists are empty while Count keeps its value.
    scanner.PathLogInit();
    scanner.LogPath(start.toStdString());
    QCOMPARE(scanner.Count(), 6);
    QCOMPARE(scanner.pathNames()->Count(), 0);
    QCOMPARE(scanner.fullFileNames()->Count(), 0);
}

void TestScanner::secondWalkWithoutInitChangesNothing() {
    auto fs = MakeTree(PathStyle::Windows, MailTree());
    fs->AddFile(R"(D:\Other\o.eml)");
    pathLogger scanner = MakeScanner(fs);
    scanner.PathLogInit();
    scanner.LogPath(R"(D:\Mail)");
    const QStringList files = Entries(*scanner.fullFileNames());
    // What the second walk would find if it ran again on the first tree.
    QVERIFY(fs->AddFile(R"(D:\Mail\Inbox\new.eml)"));
    scanner.LogPath(R"(D:\Other)");
    QCOMPARE(scanner.Count(), 6);
    QCOMPARE(scanner.pathNames()->Count(), 4);
    QCOMPARE(Entries(*scanner.fullFileNames()), files);

    scanner.PathLogInit();
    scanner.LogPath(R"(D:\Other)");
    QCOMPARE(scanner.Count(), 2);
    QCOMPARE(Entries(*scanner.fullFileNames()), QStringList{R"(K1 D:\Other\o.eml)"});
}

void TestScanner::listsTakenOutliveTheScanner() {
    auto fs = MakeTree(PathStyle::Windows, MailTree());
    std::shared_ptr<pathLogger::TextList> folders;
    std::shared_ptr<pathLogger::TextList> files;
    std::shared_ptr<pathLogger::TextList> names;
    std::shared_ptr<pathLogger::PositionList> pointers;
    {
        pathLogger scanner = MakeScanner(fs);
        scanner.PathLogInit();
        scanner.fullFileNamesOnly(false);
        scanner.LogPath(R"(D:\Mail)");
        folders = scanner.pathNames();
        files = scanner.fullFileNames();
        names = scanner.fileNames();
        pointers = scanner.pathPointers();
        // The properties hand out the scanner's own lists, not copies.
        QCOMPARE(scanner.fullFileNames().get(), files.get());

        scanner.Terminate();
        QCOMPARE(files->Count(), 5);
        QVERIFY(scanner.fullFileNames().get() != files.get());
        QCOMPARE(scanner.fullFileNames()->Count(), 0);
        QCOMPARE(scanner.pathNames()->Count(), 0);
        QCOMPARE(scanner.Count(), 6);
        QCOMPARE(scanner.fullFileNamesOnly(), false);

        // PathLogInit drops the scanner's references too, and a new walk fills new lists.
        scanner.PathLogInit();
        scanner.LogPath(R"(D:\Mail\Sent)");
        QCOMPARE(scanner.fullFileNames()->Count(), 1);
    }
    QCOMPARE(folders->Count(), 4);
    QCOMPARE(files->Item("K5"), std::string(R"(D:\Mail\Inbox\Old\z.eml)"));
    QCOMPARE(names->Item(5), std::string("z.eml"));
    QCOMPARE(pointers->Item("K5"), 4);
}

void TestScanner::listOfScannerHoldingNoneIsNewAndHeld() {
    auto fs = MakeTree(PathStyle::Windows, MailTree());
    pathLogger scanner = MakeScanner(fs);
    const auto first = scanner.fullFileNames();
    QCOMPARE(first->Count(), 0);
    // Read again, the property gives the list it created and now holds.
    QCOMPARE(scanner.fullFileNames().get(), first.get());

    // A walk fills the list already held and handed out.
    scanner.PathLogInit();
    const auto held = scanner.fullFileNames();
    scanner.LogPath(R"(D:\Mail)");
    QCOMPARE(held->Count(), 5);
    QCOMPARE(first->Count(), 0);
}

void TestScanner::lifecycle() {
    auto fs = MakeTree(PathStyle::Windows, MailTree());
    auto factory = std::make_shared<CountingFactory>();
    pathLogger scanner(PathStyle::Windows, [factory] {
        auto made = MakeTree(PathStyle::Windows, MailTree());
        ++factory->made;
        factory->last = made;
        return made;
    });
    QCOMPARE(scanner.Count(), 0);
    QCOMPARE(scanner.fullFileNamesOnly(), false);
    QCOMPARE(factory->made, 0);

    scanner.PathLogInit();
    QCOMPARE(factory->made, 1);
    QCOMPARE(scanner.fullFileNamesOnly(), true);
    const std::weak_ptr<tolvik::FileSystem> firstService = factory->last;
    scanner.PathLogInit();
    QCOMPARE(factory->made, 2);
    QVERIFY(firstService.expired());

    scanner.fullFileNamesOnly(false);
    scanner.LogPath(R"(D:\Mail)");
    QCOMPARE(scanner.Count(), 6);
    QVERIFY(!factory->last.expired());
    scanner.Terminate();
    QVERIFY(factory->last.expired());
    QCOMPARE(scanner.fullFileNamesOnly(), false);

    // Used without PathLogInit, the scanner makes its service itself and walks in the mode
    // it is in.
    pathLogger bare(PathStyle::Windows, [fs] { return fs; });
    bare.LogPath(R"(D:\Mail\Inbox)");
    QCOMPARE(bare.Count(), 3);
    QCOMPARE(Entries(*bare.pathPointers()), QStringList({"K1 1", "K2 2"}));
}

namespace {

// Removes a folder of the tree right after its parent has been listed, as when another
// program deletes it while the walk runs.
class RemovingFileSystem : public tolvik::FileSystem {
public:
    RemovingFileSystem(std::shared_ptr<MemoryFileSystem> fs, std::string parent, std::string victim)
        : fs_(std::move(fs)), parent_(std::move(parent)), victim_(std::move(victim)) {}
    bool FolderExists(const std::string& path) override { return fs_->FolderExists(path); }
    bool ListFolder(const std::string& path, FolderListing& listing) override {
        const bool listed = fs_->ListFolder(path, listing);
        if (path == parent_) {
            fs_->Remove(victim_);
        }
        return listed;
    }

private:
    std::shared_ptr<MemoryFileSystem> fs_;
    std::string parent_;
    std::string victim_;
};

}  // namespace

void TestScanner::folderRemovedDuringWalkIsSkipped() {
    auto fs = MakeTree(PathStyle::Windows, MailTree());
    auto removing = std::make_shared<RemovingFileSystem>(fs, R"(D:\Mail\)", R"(D:\Mail\Inbox)");
    pathLogger scanner(PathStyle::Windows, [removing] { return removing; });
    scanner.PathLogInit();
    scanner.LogPath(R"(D:\Mail)");
    QCOMPARE(Entries(*scanner.pathNames()),
             QStringList({R"(K0 D:\Mail\)", R"(K2 D:\Mail\Inbox\)", R"(K3 D:\Mail\Sent\)"}));
    QCOMPARE(Entries(*scanner.fullFileNames()),
             QStringList(
                 {R"(K1 D:\Mail\a.eml)", R"(K2 D:\Mail\notes.txt)", R"(K3 D:\Mail\Sent\y.eml)"}));
    QCOMPARE(scanner.SkippedFolders(), 1);
    QCOMPARE(scanner.SkippedFolderPaths().front(), std::string(R"(D:\Mail\Inbox\)"));
}

QTEST_GUILESS_MAIN(TestScanner)
#include "test_core_scanner.moc"
