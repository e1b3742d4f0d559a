// The folder scanner on a real tree on disk: hidden items, links, special files, names that
// are not valid UTF-8, and folders that cannot be listed.
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "MessageFiles.h"
#include "pathLogger.h"

using tolvik::DiskFileSystem;
using tolvik::FolderListing;
using tolvik::pathLogger;
using tolvik::PathStyle;
using Paths = std::vector<std::string>;

namespace {

// Files and folders are made through POSIX calls so that names reach the disk byte for byte.
void MakeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, "x\n", 2) != 2) {
        qFatal("cannot create %s", path.c_str());
    }
    ::close(fd);
}

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        qFatal("cannot create folder %s", path.c_str());
    }
}

void MakeLink(const std::string& target, const std::string& path) {
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        qFatal("cannot create link %s", path.c_str());
    }
}

std::string RootOf(const QTemporaryDir& dir) {
    return QFile::encodeName(dir.path()).toStdString();
}

struct Walk {
    Paths folders;
    Paths files;
    int count = 0;
    Paths skipped;
};

Walk WalkDisk(const std::string& start) {
    pathLogger scanner(PathStyle::Posix);
    scanner.PathLogInit();
    scanner.LogPath(start);
    Walk walk;
    for (const auto& folder : *scanner.pathNames()) {
        walk.folders.push_back(folder);
    }
    for (const auto& file : *scanner.fullFileNames()) {
        walk.files.push_back(file);
    }
    walk.count = scanner.Count();
    walk.skipped = scanner.SkippedFolderPaths();
    scanner.Terminate();
    return walk;
}

// Removes a tree that may be too deep for path-based calls, one folder descriptor at a time.
void RemoveTreeAt(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) {
        ::unlinkat(parent, name, 0);
        return;
    }
    DIR* folder = ::fdopendir(fd);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            names.push_back(entryName);
        }
    }
    for (const auto& entryName : names) {
        RemoveTreeAt(::dirfd(folder), entryName.c_str());
    }
    ::closedir(folder);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

// Removes one folder right after its parent has been listed, as when another program deletes
// it while the walk runs.
class RemovingFileSystem : public tolvik::FileSystem {
public:
    RemovingFileSystem(std::string parent, QString victim)
        : parent_(std::move(parent)), victim_(std::move(victim)) {}
    bool FolderExists(const std::string& path) override { return disk_.FolderExists(path); }
    bool ListFolder(const std::string& path, FolderListing& listing) override {
        const bool listed = disk_.ListFolder(path, listing);
        if (path == parent_) {
            QDir(victim_).removeRecursively();
        }
        return listed;
    }

private:
    DiskFileSystem disk_;
    std::string parent_;
    QString victim_;
};

}  // namespace

class TestScanDisk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void folderExists_data();
    void folderExists();
    void listsEverythingAndPicksMessages();
    void linksAndSpecialFiles();
    void nameNotValidUtf8KeptByteForByte();
    void folderRemovedDuringWalkIsSkipped();
    void pathTooLongIsSkipped();
};

void TestScanDisk::folderExists_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("exists");
    QTest::newRow("folder") << "sub" << true;
    QTest::newRow("folder with trailing slash") << "sub/" << true;
    QTest::newRow("missing") << "nope" << false;
    QTest::newRow("file") << "file.eml" << false;
    QTest::newRow("file with trailing slash") << "file.eml/" << false;
    QTest::newRow("below a file") << "file.eml/x" << false;
    QTest::newRow("link to a folder") << "folderlink" << true;
    QTest::newRow("dangling link") << "dangling" << false;
}

void TestScanDisk::folderExists() {
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir);
    MakeFolder(root + "/sub");
    MakeFile(root + "/file.eml");
    MakeLink("sub", root + "/folderlink");
    MakeLink("gone", root + "/dangling");
    DiskFileSystem disk;
    QTEST(disk.FolderExists(root + "/" + relative.toStdString()), "exists");
    QVERIFY(!disk.FolderExists(""));
}

void TestScanDisk::listsEverythingAndPicksMessages() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir) + "/Mail";
    MakeFolder(root);
    for (const char* name : {"a.EML", "b.Eml", "c.eml", "d.eml.bak", "e.emlx", "f.txt",
                             ".hidden.eml", "10.eml", "2.eml"}) {
        MakeFile(root + "/" + name);
    }
    MakeFolder(root + "/.Trash");
    MakeFile(root + "/.Trash/old.eml");
    MakeFolder(root + "/Inbox");
    MakeFolder(root + "/Inbox/Deep");
    MakeFile(root + "/Inbox/Deep/deep.eml");
    MakeFile(root + "/Inbox/in.eml");
    MakeFolder(root + "/Empty");

    const Walk walk = WalkDisk(root);
    QCOMPARE(walk.folders, (Paths{root + "/", root + "/.Trash/", root + "/Empty/", root + "/Inbox/",
                                  root + "/Inbox/Deep/"}));
    QCOMPARE(walk.files,
             (Paths{root + "/.hidden.eml", root + "/2.eml", root + "/10.eml", root + "/a.EML",
                    root + "/b.Eml", root + "/c.eml", root + "/d.eml.bak", root + "/e.emlx",
                    root + "/f.txt", root + "/.Trash/old.eml", root + "/Inbox/in.eml",
                    root + "/Inbox/Deep/deep.eml"}));
    QCOMPARE(walk.count, 13);
    QVERIFY(walk.skipped.empty());

    int skipped = -1;
    QCOMPARE(tolvik::MessageFilesOf(root + "/", &skipped),
             (Paths{root + "/.hidden.eml", root + "/2.eml", root + "/10.eml", root + "/a.EML",
                    root + "/b.Eml", root + "/c.eml", root + "/.Trash/old.eml",
                    root + "/Inbox/in.eml", root + "/Inbox/Deep/deep.eml"}));
    QCOMPARE(skipped, 0);
    QVERIFY(tolvik::MessageFilesOf(root + "/nope", &skipped).empty());
    QCOMPARE(skipped, 0);
    QVERIFY(tolvik::MessageFilesOf(root + "/c.eml").empty());
}

void TestScanDisk::linksAndSpecialFiles() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir) + "/Mail";
    MakeFolder(root);
    MakeFolder(root + "/sub");
    MakeFile(root + "/sub/x.eml");
    MakeLink("..", root + "/sub/up");                 // back to an ancestor: a loop
    MakeLink(root, root + "/sub/again");              // the same, by absolute path
    MakeLink("sub/x.eml", root + "/linked.eml");      // to a file, relative to its folder
    MakeLink("missing.eml", root + "/dangling.eml");  // leads nowhere
    MakeLink("dangling.eml", root + "/chain.eml");    // to a dangling link
    MakeLink("linked.eml", root + "/chained.eml");    // to a link to a file
    QVERIFY(::mkfifo((root + "/pipe.eml").c_str(), 0644) == 0);

    const Walk walk = WalkDisk(root);
    QCOMPARE(walk.folders, (Paths{root + "/", root + "/sub/"}));
    QCOMPARE(walk.files, (Paths{root + "/chained.eml", root + "/linked.eml", root + "/sub/x.eml"}));
    QCOMPARE(walk.count, 4);
    QVERIFY(walk.skipped.empty());

    // A link to a folder given as the start folder is walked: it is what the user chose.
    MakeLink(root, RootOf(dir) + "/MailLink");
    const Walk viaLink = WalkDisk(RootOf(dir) + "/MailLink");
    QCOMPARE(viaLink.folders.size(), std::size_t(2));
    QCOMPARE(viaLink.files.back(), RootOf(dir) + "/MailLink/sub/x.eml");
}

void TestScanDisk::nameNotValidUtf8KeptByteForByte() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir);
    const std::string folder = root + "/Bo\xeete";  // "Boîte" in Latin-1
    MakeFolder(folder);
    MakeFile(folder + "/caf\xe9.eml");
    MakeFile(folder + "/caf\xc3\xa9.eml");  // the same name in UTF-8

    const Walk walk = WalkDisk(root);
    QCOMPARE(walk.folders, (Paths{root + "/", folder + "/"}));
    QCOMPARE(walk.files, (Paths{folder + "/caf\xc3\xa9.eml", folder + "/caf\xe9.eml"}));
    QCOMPARE(tolvik::MessageFilesOf(root), walk.files);
    // The paths open as they are.
    for (const auto& file : walk.files) {
        struct stat info {};
        QVERIFY(::stat(file.c_str(), &info) == 0);
    }
    // QDir cannot name these entries to remove them.
    RemoveTreeAt(AT_FDCWD, folder.c_str());
    QVERIFY(::access(folder.c_str(), F_OK) != 0);
}

void TestScanDisk::folderRemovedDuringWalkIsSkipped() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir);
    MakeFolder(root + "/a");
    MakeFile(root + "/a/gone.eml");
    MakeFolder(root + "/b");
    MakeFile(root + "/b/kept.eml");
    MakeFile(root + "/top.eml");

    auto removing = std::make_shared<RemovingFileSystem>(root + "/", dir.filePath("a"));
    pathLogger scanner(PathStyle::Posix, [removing] { return removing; });
    scanner.PathLogInit();
    scanner.LogPath(root);
    QCOMPARE(scanner.pathNames()->Count(), 3);
    QCOMPARE(scanner.fullFileNames()->Item(1), root + "/top.eml");
    QCOMPARE(scanner.fullFileNames()->Item("K2"), root + "/b/kept.eml");
    QCOMPARE(scanner.Count(), 3);
    QCOMPARE(scanner.SkippedFolderPaths(), Paths{root + "/a/"});
}

void TestScanDisk::pathTooLongIsSkipped() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string root = RootOf(dir);
    // A chain of folders, each with one message, whose paths grow past PATH_MAX. It is made
    // one descriptor at a time, as path-based calls cannot reach its lower part.
    const std::string step(200, 'd');
    const int levels = PATH_MAX / 200 + 3;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    QVERIFY(fd >= 0);
    const int rootFd = fd;
    for (int level = 0; level < levels; ++level) {
        QVERIFY(::mkdirat(fd, step.c_str(), 0755) == 0);
        const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
        QVERIFY(next >= 0);
        if (fd != rootFd) {
            ::close(fd);
        }
        fd = next;
        const int file = ::openat(fd, "m.eml", O_WRONLY | O_CREAT, 0644);
        QVERIFY(file >= 0);
        ::close(file);
    }
    ::close(fd);

    const Walk walk = WalkDisk(root);
    int skipped = -1;
    const Paths messages = tolvik::MessageFilesOf(root, &skipped);
    RemoveTreeAt(rootFd, step.c_str());
    ::close(rootFd);

    QCOMPARE(walk.skipped.size(), std::size_t(1));
    QVERIFY(walk.skipped.front().size() >= PATH_MAX);
    // Every folder above the one too long was listed, and its message found.
    QCOMPARE(walk.folders.size(), walk.files.size() + 2);
    QVERIFY(walk.files.size() >= 2);
    QVERIFY(walk.files.size() < std::size_t(levels));
    for (std::size_t i = 0; i < walk.files.size(); ++i) {
        QCOMPARE(walk.files[i], walk.folders[i + 1] + "m.eml");
    }
    QCOMPARE(walk.folders.back(), walk.skipped.front());
    QCOMPARE(messages, walk.files);
    QCOMPARE(skipped, 1);
}

QTEST_GUILESS_MAIN(TestScanDisk)
#include "test_core_scan_disk.moc"
