// The conversion run as the user starts it from the window, with a scripted folder dialog.
#include <fcntl.h>
#include <sys/stat.h>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "FileList.h"
#include "FlexGrid.h"
#include "ProgressBar.h"
#include "ScriptedServices.h"
#include "TestFiles.h"
#include "frmStep1.h"

using namespace tolvik;

namespace {

// A window with scripted dialogs, a list of message files in <tmp>/src/Mail/Inbox and an
// output folder <tmp>/out.
struct Fixture {
    QTemporaryDir dir;
    ScriptedFolderPicker picker;
    ScriptedDialogs dialogs;
    frmStep1 window{{.folderPicker = &picker, .dialogs = &dialogs}};

    QString Source(const QString& name) const { return dir.filePath("src/Mail/Inbox/" + name); }
    QString Mailbox() const {
        return dir.filePath("out") + dir.filePath("src/Mail/Inbox/Inbox.mbox");
    }
    std::string Out() const { return dir.filePath("out").toStdString(); }

    void AddMessages(int count) {
        for (int i = 0; i < count; ++i) {
            const QString path = Source(QStringLiteral("m%1.eml").arg(i));
            WriteFile(path, QStringLiteral("From: s%1@example.org\r\nDate: Fri, 5 Mar 2010 "
                                           "09:07:0%1 +0000\r\n\r\nbody %1\r\n")
                                .arg(i)
                                .toLatin1());
            window.Files().AddFileToList(path.toLocal8Bit());
        }
        window.CmdConvert2PDF->setEnabled(true);
    }
    void ClickConvert() { QTest::mouseClick(window.CmdConvert2PDF, Qt::LeftButton); }
};

}  // namespace

class ConvertTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runWritesEveryMessageAndShowsProgress() {
        Fixture f;
        f.AddMessages(3);
        f.picker.answers = {f.Out()};
        std::vector<float> values;
        connect(f.window.ProgressBar1, &ProgressBar::ValueChanged,
                [&](float value) { values.push_back(value); });
        f.ClickConvert();

        QCOMPARE(f.picker.titles, QStringList{"Choose Folder to Save..."});
        const QByteArray mbox = ReadAll(f.Mailbox());
        QVERIFY(mbox.startsWith("From s0@example.org Fri Mar 05 09:07:00 2010\r\nFrom: s0@"));
        QVERIFY(mbox.endsWith("\r\nbody 2\r\n\r\n"));
        QCOMPARE(mbox.count("\r\nFrom: "), 3);
        QCOMPARE(values, (std::vector<float>{static_cast<float>(100.0 / 3),
                                             static_cast<float>(200.0 / 3), 100.0f}));
        QCOMPARE(f.window.ProgressBar1->Value(), 100.0f);
        QCOMPARE(f.window.LblProgessCurrent->text(), QString("Message 3 (of 3)"));
        QCOMPARE(f.window.grdFiles1->Row(), 2);
        QVERIFY(f.dialogs.boxes.empty());  // no box when every message converted
    }

    void nothingHappensWithoutAList_data() {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("pickerCalls");
        QTest::newRow("empty list: no folder dialog") << false << 0;
        QTest::newRow("cancelled folder dialog") << true << 1;
    }
    void nothingHappensWithoutAList() {
        QFETCH(bool, listed);
        QFETCH(int, pickerCalls);
        Fixture f;
        if (listed) {
            f.AddMessages(2);
        } else {
            f.window.CmdConvert2PDF->setEnabled(true);
        }
        f.picker.answers = {""};
        f.ClickConvert();
        QCOMPARE(int(f.picker.titles.size()), pickerCalls);
        QVERIFY(!QFileInfo::exists(f.dir.filePath("out")));
        QCOMPARE(f.window.LblProgessCurrent->text(), QString("Message 0 (of 0)"));
        QCOMPARE(f.window.ProgressBar1->Value(), 0.0f);
        QVERIFY(f.dialogs.boxes.empty());
    }

    void failedRowsAreReportedOnceAtTheEnd() {
        Fixture f;
        f.AddMessages(2);
        const QByteArray earlier = "From x@y Fri Mar 05 09:07:03 2010\r\nearlier\r\n\r\n";
        WriteFile(f.Mailbox(), earlier);
        f.window.Files().AddFileToList(f.Source("missing.eml").toLocal8Bit());
        QVERIFY(QDir().mkpath(f.Source("folder.eml")));
        f.window.Files().AddFileToList(f.Source("folder.eml").toLocal8Bit());
        f.picker.answers = {f.Out()};
        f.ClickConvert();

        const QByteArray mbox = ReadAll(f.Mailbox());
        QVERIFY(mbox.startsWith(earlier));
        QCOMPARE(mbox.count("\r\nFrom: "), 2);
        QCOMPARE(f.window.LblProgessCurrent->text(), QString("Message 4 (of 4)"));
        QCOMPARE(int(f.dialogs.boxes.size()), 1);
        QCOMPARE(f.dialogs.boxes[0].kind, QString("warning"));
        const QString text = f.dialogs.boxes[0].text;
        QVERIFY2(text.startsWith("2 of 4 messages could not be converted"), qPrintable(text));
        QVERIFY(text.contains(f.Source("missing.eml") +
                              ": could not read the message: it does not exist"));
        QVERIFY(
            text.contains(f.Source("folder.eml") + ": could not read the message: it is a folder"));
    }

    void eachPathInTheBoxIsDecodedOnItsOwn() {
        // One name in Latin-1 bytes and one in UTF-8: each reads as "café" in the box.
        Fixture f;
        f.AddMessages(1);
        const QByteArray folder = QFile::encodeName(f.Source(""));
        f.window.Files().AddFileToList(folder + "caf\xe9.eml");
        f.window.Files().AddFileToList(folder + "caf\xc3\xa9.eml");
        f.picker.answers = {f.Out()};
        f.ClickConvert();

        QCOMPARE(int(f.dialogs.boxes.size()), 1);
        const QString text = f.dialogs.boxes[0].text;
        QCOMPARE(text.count(f.Source(QString::fromUtf8("caf\xc3\xa9.eml")) +
                            ": could not read the message: it does not exist"),
                 2);
        QVERIFY2(!text.contains(QString::fromUtf8("\xc3\x83")), qPrintable(text));
    }

    void anUnfinishedRecordCutOffIsToldInTheBox() {
        // A run killed in the middle of a record left it unfinished, and its lock file, which
        // says where the record began. The next run cuts it off before appending, and says so.
        Fixture f;
        f.AddMessages(1);
        const QByteArray earlier = "From x@y Fri Mar 05 09:07:03 2010\r\nearlier\r\n\r\n";
        const QByteArray unfinished = "From big@y Fri Mar 05 09:07:03 2010\r\nSubject: cut";
        WriteFile(f.Mailbox(), earlier + unfinished);
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(f.Mailbox()).constData(), &info) == 0);
        const QString lock = f.Mailbox() + ".lock";
        WriteFile(lock, "1\ntolvik host=elsewhere mailbox=" +
                            QByteArray::number(qulonglong(info.st_ino)) +
                            " start=" + QByteArray::number(earlier.size()) + " end=-1\n");
        const timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(lock).constData(), old, 0) == 0);
        f.picker.answers = {f.Out()};
        f.ClickConvert();

        const QByteArray mbox = ReadAll(f.Mailbox());
        QVERIFY(mbox.startsWith(earlier + "From s0@example.org "));
        QVERIFY(!mbox.contains("Subject: cut"));
        QCOMPARE(int(f.dialogs.boxes.size()), 1);
        QCOMPARE(f.dialogs.boxes[0].kind, QString("warning"));
        QCOMPARE(f.dialogs.boxes[0].text,
                 f.Mailbox() + QStringLiteral(": removed an unfinished record of %1 bytes that an "
                                              "interrupted run had left at its end.")
                                   .arg(unfinished.size()));
    }

    void clicksDuringARunAreIgnored() {
        Fixture f;
        f.AddMessages(3);
        f.window.SetYieldInterval(0);
        f.picker.answers = {f.Out(), f.Out()};
        bool clicked = false;
        // The first time the run lets events through, the user clicks every list command and
        // the convert button again.
        QMetaObject::invokeMethod(
            &f.window,
            [&] {
                QVERIFY(f.window.CommandRunning());
                for (QPushButton* button : {f.window.cmdClear1, f.window.cmdAdd,
                                            f.window.CmdAddFolder, f.window.CmdConvert2PDF}) {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
                clicked = true;
            },
            Qt::QueuedConnection);
        f.ClickConvert();
        QVERIFY(clicked);
        QVERIFY(f.dialogs.boxes.empty());                // no clear question
        QCOMPARE(f.picker.titles.size(), qsizetype(1));  // no second run
        QCOMPARE(f.window.grdFiles1->Rows(), 3);
        QCOMPARE(ReadAll(f.Mailbox()).count("\r\nFrom: "), 3);
        QVERIFY(!f.window.CommandRunning());
    }

    void closingDuringARunStopsAfterTheRecord_data() {
        QTest::addColumn<bool>("byExitButton");
        QTest::newRow("close box") << false;
        QTest::newRow("exit, then Yes") << true;
    }
    void closingDuringARunStopsAfterTheRecord() {
        QFETCH(bool, byExitButton);
        Fixture f;
        f.AddMessages(4);
        f.window.show();
        f.window.SetYieldInterval(0);
        f.picker.answers = {f.Out()};
        // The user closes the window once the first record is written; the close is handled
        // while the second row is under way, which is finished, and the run stops there.
        bool closed = false;
        connect(f.window.ProgressBar1, &ProgressBar::ValueChanged, [&] {
            if (closed) {
                return;
            }
            closed = true;
            QMetaObject::invokeMethod(
                &f.window,
                [&] {
                    if (byExitButton) {
                        QTest::mouseClick(f.window.cmdEnd, Qt::LeftButton);
                    } else {
                        f.window.close();
                    }
                },
                Qt::QueuedConnection);
        });
        f.ClickConvert();
        QVERIFY(!f.window.isVisible());
        const QByteArray mbox = ReadAll(f.Mailbox());
        QCOMPARE(mbox.count("\r\nFrom: "), 2);
        QVERIFY(mbox.endsWith("\r\nbody 1\r\n\r\n"));
        QCOMPARE(int(f.dialogs.boxes.size()), byExitButton ? 1 : 0);
    }
};

QTEST_MAIN(ConvertTest)
#include "test_ui_convert.moc"
