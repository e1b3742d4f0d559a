// The file list on the window's real grid: appending, clearing, the clear command.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "FileList.h"
#include "FlexGrid.h"
#include "ScriptedServices.h"
#include "frmStep1.h"

using namespace tolvik;

class FileListTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void appendingAndClearing() {
        ScriptedDialogs dialogs;
        frmStep1 window({.dialogs = &dialogs});
        FlexGrid& grid = *window.grdFiles1;
        FileList& list = window.Files();

        QVERIFY(list.IsEmpty());
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(window.lblCount1->text(), QString("0 files"));

        list.AddFileToList("/m/a.eml");
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.TextMatrix(0), QByteArray("/m/a.eml"));
        QCOMPARE(window.lblCount1->text(), QString("1 files"));

        list.AddFileToList("/m/b.eml");
        list.AddFileToList("/m/a.eml");  // duplicates are kept
        QCOMPARE(grid.Rows(), 3);
        QCOMPARE(grid.TextMatrix(1), QByteArray("/m/b.eml"));
        QCOMPARE(grid.TextMatrix(2), QByteArray("/m/a.eml"));
        QCOMPARE(grid.Row(), 2);  // the new last row is the current cell
        QCOMPARE(window.lblCount1->text(), QString("3 files"));
        QCOMPARE(grid.ColWidth(), 10000);

        window.CmdConvert2PDF->setEnabled(true);
        list.ClearFileList();
        QVERIFY(list.IsEmpty());
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.TextMatrix(0), QByteArray());
        QCOMPARE(window.lblCount1->text(), QString("0 files"));
        QVERIFY(window.CmdConvert2PDF->isEnabled());  // clearing leaves the button alone

        list.AddFileToList("/m/c.eml");  // no empty first row is kept
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.TextMatrix(0), QByteArray("/m/c.eml"));
    }

    void exactBytesAndReadableText() {
        frmStep1 window;
        const QByteArray latin1 = "/m/caf\xe9.eml";
        const QByteArray utf8 = "/m/caf\xc3\xa9.eml";
        window.Files().AddFileToList(latin1);
        window.Files().AddFileToList(utf8);
        FlexGrid& grid = *window.grdFiles1;
        grid.Publish();
        QCOMPARE(grid.TextMatrix(0), latin1);
        QCOMPARE(grid.TextMatrix(1), utf8);
        const QString shown0 = grid.model()->index(0, 0).data().toString();
        const QString shown1 = grid.model()->index(1, 0).data().toString();
        QCOMPARE(shown0, QString::fromUtf8("/m/caf\xc3\xa9.eml"));
        QCOMPARE(shown1, QString::fromUtf8("/m/caf\xc3\xa9.eml"));
    }

    void clearCommand_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("rowsAfter");
        QTest::newRow("empty list: no question") << 0 << true << 0 << 1;
        QTest::newRow("answered No") << 3 << false << 1 << 3;
        QTest::newRow("answered Yes") << 3 << true << 1 << 1;
    }
    void clearCommand() {
        QFETCH(int, files);
        QFETCH(bool, answer);
        QFETCH(int, questions);
        QFETCH(int, rowsAfter);
        ScriptedDialogs dialogs;
        dialogs.answers = {answer};
        frmStep1 window({.dialogs = &dialogs});
        for (int i = 0; i < files; ++i) {
            window.Files().AddFileToList(QByteArray("/m/") + QByteArray::number(i) + ".eml");
        }
        QTest::mouseClick(window.cmdClear1, Qt::LeftButton);
        QCOMPARE(int(dialogs.boxes.size()), questions);
        if (questions > 0) {
            QCOMPARE(dialogs.boxes[0].kind, QString("question"));
            QCOMPARE(dialogs.boxes[0].text,
                     QString("Do you want to clear all the files in the list\r\n Proceed?"));
        }
        QCOMPARE(window.grdFiles1->Rows(), rowsAfter);
        QCOMPARE(window.grdFiles1->Row(), 0);  // the current cell moved to the first row
        QCOMPARE(window.Files().IsEmpty(), files == 0 || answer);
    }
};

QTEST_MAIN(FileListTest)
#include "test_ui_filelist.moc"
