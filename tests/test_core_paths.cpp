// Cutting paths, mirroring a message's folder beneath the output folder, creating folders.
#include <sys/stat.h>
#include <QTemporaryDir>
#include <QtTest>

#include "MailboxMapping.h"
#include "modMain.h"
#include "registry.h"

using namespace tolvik;

Q_DECLARE_METATYPE(tolvik::PathStyle)

class PathTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cutting_data() {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folder");
        const auto W = PathStyle::Windows;
        const auto P = PathStyle::Posix;
        QTest::newRow("file in a folder") << W << "C:\\Mail\\Inbox\\a.eml"
                                          << "a.eml"
                                          << "C:\\Mail\\Inbox\\";
        QTest::newRow("folder without separator") << W << "D:\\Out"
                                                  << "Out"
                                                  << "D:\\";
        QTest::newRow("bare drive") << W << "D:"
                                    << "D:"
                                    << "";
        QTest::newRow("folder with separator") << W << "C:\\Mail\\"
                                               << ""
                                               << "C:\\Mail\\";
        QTest::newRow("forward slash is no separator on Windows") << W << "C:/Mail/a.eml"
                                                                  << "C:/Mail/a.eml"
                                                                  << "";
        QTest::newRow("file at a drive root") << W << "C:\\a.eml"
                                              << "a.eml"
                                              << "C:\\";
        QTest::newRow("bare name") << W << "a.eml"
                                   << "a.eml"
                                   << "";
        QTest::newRow("network path") << W << "\\\\srv\\share\\a.eml"
                                      << "a.eml"
                                      << "\\\\srv\\share\\";
        QTest::newRow("empty") << W << ""
                               << ""
                               << "";
        QTest::newRow("posix file") << P << "/home/ann/Mail/a.eml"
                                    << "a.eml"
                                    << "/home/ann/Mail/";
        QTest::newRow("posix root file") << P << "/a.eml"
                                         << "a.eml"
                                         << "/";
        QTest::newRow("backslash is a plain character on Linux") << P << "/mail/odd\\name.eml"
                                                                 << "odd\\name.eml"
                                                                 << "/mail/";
    }
    void cutting() {
        QFETCH(PathStyle, style);
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, folder);
        const std::string p = path.toStdString();
        QCOMPARE(QString::fromStdString(FileNameOfPath(p, style)), fileName);
        QCOMPARE(QString::fromStdString(FolderOfPath(p, style)), folder);
        QCOMPARE(FolderOfPath(p, style) + FileNameOfPath(p, style), p);
    }

    void mailboxFor_data() {
        QTest::addColumn<PathStyle>("style");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("mailbox");
        const auto W = PathStyle::Windows;
        const auto P = PathStyle::Posix;
        QTest::newRow("inbox") << W << "C:\\Mail\\Inbox\\a.eml"
                               << "D:\\Out\\"
                               << "D:\\Out\\Mail\\Inbox\\Inbox.mbox";
        QTest::newRow("deeper") << W << "C:\\Mail\\Inbox\\Work\\c.eml"
                                << "D:\\Out\\"
                                << "D:\\Out\\Mail\\Inbox\\Work\\Work.mbox";
        QTest::newRow("other drive, same mailbox") << W << "E:\\Mail\\Inbox\\d.eml"
                                                   << "D:\\Out\\"
                                                   << "D:\\Out\\Mail\\Inbox\\Inbox.mbox";
        QTest::newRow("message at a drive root") << W << "C:\\e.eml"
                                                 << "D:\\Out\\"
                                                 << "D:\\Out\\Out.mbox";
        QTest::newRow("output at a drive root") << W << "C:\\Mail\\Inbox\\a.eml"
                                                << "D:\\"
                                                << "D:\\Mail\\Inbox\\Inbox.mbox";
        QTest::newRow("both at a drive root: the drive loses its colon") << W << "C:\\e.eml"
                                                                         << "D:\\"
                                                                         << "D:\\D.mbox";
        QTest::newRow("network path keeps the server name")
            << W << "\\\\srv\\share\\Mail\\a.eml"
            << "D:\\Out\\"
            << "D:\\Out\\srv\\share\\Mail\\Mail.mbox";
        QTest::newRow("posix") << P << "/home/ann/Mail/Inbox/a.eml"
                               << "/tmp/Out/"
                               << "/tmp/Out/home/ann/Mail/Inbox/Inbox.mbox";
        QTest::newRow("posix message at the root") << P << "/e.eml"
                                                   << "/tmp/Out/"
                                                   << "/tmp/Out/Out.mbox";
        QTest::newRow("posix both at the root") << P << "/e.eml"
                                                << "/"
                                                << "/Mailbox.mbox";
        QTest::newRow("dot steps cannot climb out of the output folder")
            << P << "/../../etc/x/a.eml"
            << "/tmp/Out/"
            << "/tmp/Out/etc/x/x.mbox";
        QTest::newRow("dot steps inside the path resolve") << P << "/home/./ann/../bob//Mail/a.eml"
                                                           << "/tmp/Out/"
                                                           << "/tmp/Out/home/bob/Mail/Mail.mbox";
    }
    void mailboxFor() {
        QFETCH(PathStyle, style);
        QFETCH(QString, source);
        QFETCH(QString, output);
        QFETCH(QString, mailbox);
        const MailboxTarget target = MailboxFor(source.toStdString(), output.toStdString(), style);
        QCOMPARE(QString::fromStdString(target.mailboxPath), mailbox);
        QCOMPARE(target.mirroredFolder + FileNameOfPath(target.mailboxPath, style),
                 target.mailboxPath);
    }

    void ensureDirectoryPath() {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        struct stat st {};

        // Missing levels are created, with or without a trailing separator.
        QVERIFY(EnsureDirectoryPath(root + "/Out/Mail/Inbox"));
        QVERIFY(::stat((root + "/Out/Mail/Inbox").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
        QVERIFY(EnsureDirectoryPath(root + "/Out/Mail/Sent/"));
        QVERIFY(::stat((root + "/Out/Mail/Sent").c_str(), &st) == 0 && S_ISDIR(st.st_mode));

        // An existing folder succeeds and its contents stay.
        QFile keep(dir.filePath("Out/Mail/Inbox/keep.txt"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("x");
        keep.close();
        QVERIFY(EnsureDirectoryPath(root + "/Out/Mail/Inbox/"));
        QVERIFY(QFile::exists(dir.filePath("Out/Mail/Inbox/keep.txt")));

        // A file where a folder is needed fails with a reason, at any level.
        std::string reason;
        QVERIFY(!EnsureDirectoryPath(root + "/Out/Mail/Inbox/keep.txt", &reason));
        QVERIFY(!reason.empty());
        reason.clear();
        QVERIFY(!EnsureDirectoryPath(root + "/Out/Mail/Inbox/keep.txt/deeper/", &reason));
        QVERIFY(!reason.empty());
    }
};

QTEST_APPLESS_MAIN(PathTest)
#include "test_core_paths.moc"
