// The add-folder command through the window, with a scripted folder dialog.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "FileList.h"
#include "FlexGrid.h"
#include "ScriptedServices.h"
#include "TestFiles.h"
#include "frmStep1.h"

using namespace tolvik;

namespace {

QList<QByteArray> Rows(frmStep1& window) {
    QList<QByteArray> rows;
    if (window.Files().IsEmpty()) {
        return rows;
    }
    for (int row = 0; row < window.Files().RowCount(); ++row) {
        rows << window.Files().RowText(row);
    }
    return rows;
}

}  // namespace

class AddFolderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addsTheTreesMessageFiles() {
        QTemporaryDir dir;
        const QString root = dir.filePath("Mail");
        for (const char* name :
             {"a.EML", "b.Eml", "10.eml", "2.eml", "d.eml.bak", "e.emlx", "f.txt", ".hidden.eml",
              "Inbox/x.eml", "Inbox/Old/z.eml", "Sent/y.eml", ".secret/s.eml"}) {
            WriteFile(root + "/" + name);
        }
        ScriptedFolderPicker picker;
        ScriptedDialogs dialogs;
        frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
        window.Files().AddFileToList("/earlier/row.eml");
        const QByteArray r = root.toLocal8Bit();
        picker.answers = {root.toStdString(), root.toStdString()};

        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        // Breadth first: the folder's own files, then each level below; within a folder the
        // order a file manager shows ("2" before "10", letter case ignored).
        const QList<QByteArray> once = {
            r + "/.hidden.eml", r + "/2.eml",      r + "/10.eml",
            r + "/a.EML",       r + "/b.Eml",      r + "/.secret/s.eml",
            r + "/Inbox/x.eml", r + "/Sent/y.eml", r + "/Inbox/Old/z.eml",
        };
        QCOMPARE(picker.titles, QStringList{"Choose Source Folder..."});
        QCOMPARE(window.SourceFolder, root.toStdString() + "/");
        QCOMPARE(Rows(window), QList<QByteArray>{"/earlier/row.eml"} + once);
        QCOMPARE(window.lblCount1->text(), QString("10 files"));
        QVERIFY(window.CmdConvert2PDF->isEnabled());
        QCOMPARE(int(dialogs.boxes.size()), 1);
        QCOMPARE(dialogs.boxes[0].kind, QString("information"));
        QCOMPARE(dialogs.boxes[0].text, QString("9 Files Added to List."));

        // The same folder again: every message file twice, the same report.
        const QList<QByteArray> first = Rows(window);
        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        QCOMPARE(Rows(window), first + first.mid(1));
        QCOMPARE(dialogs.boxes[1].text, QString("9 Files Added to List."));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void cancelChangesNothing() {
        ScriptedFolderPicker picker;
        ScriptedDialogs dialogs;
        frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
        window.Files().AddFileToList("/earlier/row.eml");
        window.CmdConvert2PDF->setEnabled(true);
        picker.answers = {""};
        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        QCOMPARE(Rows(window), QList<QByteArray>{"/earlier/row.eml"});
        QVERIFY(window.CmdConvert2PDF->isEnabled());
        QVERIFY(dialogs.boxes.empty());
        QVERIFY(window.SourceFolder.empty());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void folderWithoutMessagesDisablesConvert() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("notes.txt"));
        ScriptedFolderPicker picker;
        ScriptedDialogs dialogs;
        frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
        window.Files().AddFileToList("/earlier/row.eml");
        window.CmdConvert2PDF->setEnabled(true);
        picker.answers = {dir.path().toStdString()};
        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        QCOMPARE(Rows(window), QList<QByteArray>{"/earlier/row.eml"});
        QVERIFY(!window.CmdConvert2PDF->isEnabled());
        QCOMPARE(dialogs.boxes.at(0).text, QString("0 Files Added to List."));
    }

    void unreadableFoldersAreCountedInTheReport() {
        auto fs = std::make_shared<MemoryFileSystem>(PathStyle::Posix);
        fs->AddFile("/Mail/a.eml");
        fs->AddFile("/Mail/Locked/b.eml");
        fs->AddFile("/Mail/Gone/c.eml");
        fs->SetUnreadable("/Mail/Locked");
        fs->SetUnreadable("/Mail/Gone");
        ScriptedFolderPicker picker;
        ScriptedDialogs dialogs;
        frmStep1 window(
            {.folderPicker = &picker, .dialogs = &dialogs, .fileSystem = [fs] { return fs; }});
        picker.answers = {"/Mail"};
        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        QCOMPARE(Rows(window), QList<QByteArray>{"/Mail/a.eml"});
        QCOMPARE(dialogs.boxes.at(0).text,
                 QString("1 Files Added to List.\n2 folders could not be read."));
    }

    void windowStaysLiveWhileAdding() {
        QTemporaryDir dir;
        for (int i = 0; i < 50; ++i) {
            WriteFile(dir.filePath(QStringLiteral("m%1.eml").arg(i)));
        }
        ScriptedFolderPicker picker;
        ScriptedDialogs dialogs;
        frmStep1 window({.folderPicker = &picker, .dialogs = &dialogs});
        window.SetYieldInterval(0);
        picker.answers = {dir.path().toStdString()};
        QString countSeen;
        bool hourglass = false;
        // While files are appended, events are handled: the count label has moved part of the
        // way, the hourglass shows, and clicks on the other commands are ignored.
        QMetaObject::invokeMethod(
            &window,
            [&] {
                countSeen = window.lblCount1->text();
                hourglass = QApplication::overrideCursor() != nullptr &&
                            QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                QTest::mouseClick(window.cmdClear1, Qt::LeftButton);
                QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
            },
            Qt::QueuedConnection);
        QTest::mouseClick(window.CmdAddFolder, Qt::LeftButton);
        QVERIFY(hourglass);
        QVERIFY2(countSeen == "0 files" || countSeen == "1 files", qPrintable(countSeen));
        QCOMPARE(window.Files().RowCount(), 50);
        QCOMPARE(picker.titles.size(), qsizetype(1));
        QCOMPARE(int(dialogs.boxes.size()), 1);  // no clear question, only the report
    }
};

QTEST_MAIN(AddFolderTest)
#include "test_ui_add_folder.moc"
