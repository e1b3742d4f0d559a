// The add-files command: the window with a scripted open-file dialog, and the real dialog.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <new>
#include <stdexcept>

#include "AddFilesCommand.h"
#include "Dialogs.h"
#include "FileList.h"
#include "FlexGrid.h"
#include "OpenFileDialog.h"
#include "frmStep1.h"

using namespace tolvik;

namespace {

const QString kFilter = QStringLiteral("Outlook Express Email Messages (*.eml)|*.eml");

// Pieces joined by NUL characters, as the dialog returns several files.
QByteArray Nul(const QByteArrayList& pieces) {
    return pieces.join('\0');
}

class RecordingDialogs : public Dialogs {
public:
    QStringList warnings;
    QStringList others;
    bool AskYesNo(QWidget*, const QString& text) override {
        others << text;
        return true;
    }
    void Warn(QWidget*, const QString& text) override { warnings << text; }
    void Inform(QWidget*, const QString& text) override { others << text; }
};

enum class Failure { None, BufferTooSmall, DialogFailure, OutOfMemory, Exception };

// Returns a scripted text or raises a scripted failure, and records what it was set up with.
class ScriptedFileDialog : public OpenFileDialog {
public:
    struct Shown {
        QByteArray fileName;
        QString filter;
        int flags;
        int maxFileSize;
        bool listWasEmpty;
    };

    QByteArray returned;
    PathStyle style = PathStyle::Posix;
    Failure failure = Failure::None;
    int code = 0;
    QString description;
    int filesThatFit = 0;
    const FileList* list = nullptr;
    QList<Shown> shown;

    void ShowOpen(QWidget*) override {
        shown.append({FileName(), Filter(), Flags(), MaxFileSize(), list->IsEmpty()});
        SetFileName(QByteArray());
        switch (failure) {
            case Failure::None:
                break;
            case Failure::BufferTooSmall:
                throw DialogError(kErrBufferTooSmall, QStringLiteral("too long"), filesThatFit);
            case Failure::DialogFailure:
                throw DialogError(code, description);
            case Failure::OutOfMemory:
                throw std::bad_alloc();
            case Failure::Exception:
                throw std::runtime_error(description.toStdString());
        }
        SetFileName(returned);
    }
    PathStyle ReturnedPathStyle() const override { return style; }
};

// Runs `act` on the open-file dialog as soon as it is shown.
void WhenFileDialogShows(std::function<void(QFileDialog&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (dialog != nullptr && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*dialog);
                return;
            }
        }
    });
    timer->start();
}

// What the real dialog looked like when it opened.
struct SeenDialog {
    bool found = false;
    QStringList nameFilters;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptSave;
    QWidget* owner = nullptr;
};

// Opens `folder` in the dialog and picks `names` by typing them as a user does ("a" "b"),
// or cancels when `names` is empty.
void PickInDialog(QFileDialog& dialog, const QString& folder, const QStringList& names,
                  SeenDialog& seen) {
    seen.found = true;
    seen.nameFilters = dialog.nameFilters();
    seen.fileMode = dialog.fileMode();
    seen.acceptMode = dialog.acceptMode();
    seen.owner = dialog.parentWidget();
    if (names.isEmpty()) {
        dialog.reject();
        return;
    }
    dialog.setDirectory(folder);
    QStringList quoted;
    for (const QString& name : names) {
        quoted << u'"' + name + u'"';
    }
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit == nullptr) {
        dialog.reject();
        return;
    }
    edit->setText(names.size() == 1 ? names.front() : quoted.join(u' '));
    static_cast<QDialog&>(dialog).accept();  // as the Open button does
    if (dialog.isVisible()) {                // the dialog refused the names; do not leave it open
        dialog.reject();
    }
}

QString Repeat(QChar c, int count) {
    return QString(count, c);
}

bool CreateFiles(const QString& folder, const QStringList& names) {
    for (const QString& name : names) {
        QFile file(folder + u'/' + name);
        if (!QDir().mkpath(QFileInfo(file).path()) || !file.open(QIODevice::WriteOnly)) {
            return false;
        }
    }
    return true;
}

struct Opened {
    SeenDialog seen;
    QByteArray returned;
    int failureCode = 0;
    int filesThatFit = -1;
};

// The real dialog set up as the add-files command does, picking `names` in `folder`.
Opened OpenRealDialog(const QString& folder, const QStringList& names) {
    Opened opened;
    QWidget owner;
    CommonDialog cdlgFile(false);
    cdlgFile.SetFileName(QByteArray());
    cdlgFile.SetFilter(kFilter);
    cdlgFile.SetFlags(kOfnExplorer | kOfnAllowMultiSelect);
    cdlgFile.SetMaxFileSize(1000);
    WhenFileDialogShows(
        [&](QFileDialog& dialog) { PickInDialog(dialog, folder, names, opened.seen); });
    try {
        cdlgFile.ShowOpen(&owner);
    } catch (const DialogError& error) {
        opened.failureCode = error.Code();
        opened.filesThatFit = error.FilesThatFit();
    }
    if (opened.seen.owner != &owner) {
        opened.seen.found = false;  // not the dialog of this call
    }
    opened.returned = cdlgFile.FileName();
    return opened;
}

}  // namespace

class AddFilesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void command_data() {
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<bool>("enabledBefore");
        QTest::addColumn<QByteArray>("returned");
        QTest::addColumn<bool>("windowsForm");
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("filesThatFit");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QByteArrayList>("rows");
        QTest::addColumn<bool>("enabledAfter");
        QTest::addColumn<QStringList>("warnings");

        const QByteArrayList none;
        const QByteArrayList old{"/old/x.eml", "/old/y.eml"};
        const int ok = int(Failure::None);

        QTest::newRow("single file")
            << old << false << QByteArray("/home/ann/Mail/a.eml") << false << ok << 0 << QString()
            << 0 << 1 << QByteArrayList{"/home/ann/Mail/a.eml"} << true << QStringList();
        QTest::newRow("several files, in the dialog's order")
            << none << false << Nul({"/home/ann/Mail", "b.eml", "a.eml", "c.eml"}) << false << ok
            << 0 << QString() << 0 << 1
            << QByteArrayList{"/home/ann/Mail/b.eml", "/home/ann/Mail/a.eml",
                              "/home/ann/Mail/c.eml"}
            << true << QStringList();
        QTest::newRow("several files, Windows form")
            << none << false << Nul({"C:\\Mail", "a.eml", "b.eml"}) << true << ok << 0 << QString()
            << 0 << 1 << QByteArrayList{"C:\\Mail\\a.eml", "C:\\Mail\\b.eml"} << true
            << QStringList();
        QTest::newRow("drive root C:\\")
            << none << false << Nul({"C:\\", "a.eml", "b.eml"}) << true << ok << 0 << QString() << 0
            << 1 << QByteArrayList{"C:\\a.eml", "C:\\b.eml"} << true << QStringList();
        QTest::newRow("a slash in a Windows-form folder is no separator")
            << none << false << Nul({"C:\\a/", "b.eml", "c.eml"}) << true << ok << 0 << QString()
            << 0 << 1 << QByteArrayList{"C:\\a/\\b.eml", "C:\\a/\\c.eml"} << true << QStringList();
        QTest::newRow("root folder /")
            << none << false << Nul({"/", "a.eml", "b.eml"}) << false << ok << 0 << QString() << 0
            << 1 << QByteArrayList{"/a.eml", "/b.eml"} << true << QStringList();
        QTest::newRow("several files, text ending in NUL")
            << none << false << Nul({"/m", "a.eml", "b.eml", ""}) << false << ok << 0 << QString()
            << 0 << 1 << QByteArrayList{"/m/a.eml", "/m/b.eml"} << true << QStringList();
        QTest::newRow("single file, text ending in NUL")
            << none << false << Nul({"/m/a.eml", ""}) << false << ok << 0 << QString() << 0 << 1
            << QByteArrayList{"/m/a.eml"} << true << QStringList();
        QTest::newRow("folder and one name")
            << none << false << Nul({"/m", "a.eml"}) << false << ok << 0 << QString() << 0 << 1
            << QByteArrayList{"/m/a.eml"} << true << QStringList();
        QTest::newRow("entries taken as they are")
            << none << false << Nul({"/m ", " a.eml ", "", "caf\xe9.eml"}) << false << ok << 0
            << QString() << 0 << 1 << QByteArrayList{"/m / a.eml ", "/m /", "/m /caf\xe9.eml"}
            << true << QStringList();
        QTest::newRow("cancel while the list holds files, button enabled")
            << old << true << QByteArray() << false << ok << 0 << QString() << 0 << 1 << none
            << true << QStringList();
        QTest::newRow("cancel while the list holds files, button disabled")
            << old << false << QByteArray() << false << ok << 0 << QString() << 0 << 1 << none
            << false << QStringList();
        QTest::newRow("twice the same selection")
            << old << false << Nul({"/m", "a.eml", "b.eml"}) << false << ok << 0 << QString() << 0
            << 2 << QByteArrayList{"/m/a.eml", "/m/b.eml"} << true << QStringList();
        QTest::newRow("selection over 1000 characters")
            << old << false << QByteArray() << false << int(Failure::BufferTooSmall) << 0
            << QString() << 37 << 1 << none << false
            << QStringList{"Please select only 37 files at a time"};
        QTest::newRow("selection over 1000 characters, button enabled")
            << old << true << QByteArray() << false << int(Failure::BufferTooSmall) << 0
            << QString() << 2 << 1 << none << true
            << QStringList{"Please select only 2 files at a time"};
        QTest::newRow("not even one file fits")
            << none << false << QByteArray() << false << int(Failure::BufferTooSmall) << 0
            << QString() << 0 << 1 << none << false
            << QStringList{"Please select only 1 files at a time"};
        QTest::newRow("another dialog failure")
            << old << false << QByteArray() << false << int(Failure::DialogFailure) << 32755
            << QString("The dialog could not be opened") << 0 << 1 << none << false
            << QStringList{"32755:The dialog could not be opened"};
        QTest::newRow("out of memory")
            << old << true << QByteArray() << false << int(Failure::OutOfMemory) << 0 << QString()
            << 0 << 1 << none << true << QStringList{"7:Out of memory"};
        QTest::newRow("any other failure")
            << none << false << QByteArray() << false << int(Failure::Exception) << 0
            << QString("no display") << 0 << 1 << none << false << QStringList{"51:no display"};
    }

    void command() {
        QFETCH(QByteArrayList, before);
        QFETCH(bool, enabledBefore);
        QFETCH(QByteArray, returned);
        QFETCH(bool, windowsForm);
        QFETCH(int, failure);
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(int, filesThatFit);
        QFETCH(int, clicks);
        QFETCH(QByteArrayList, rows);
        QFETCH(bool, enabledAfter);
        QFETCH(QStringList, warnings);

        RecordingDialogs dialogs;
        ScriptedFileDialog cdlgFile;
        frmStep1 window({.dialogs = &dialogs, .cdlgFile = &cdlgFile});
        cdlgFile.list = &window.Files();
        cdlgFile.returned = returned;
        cdlgFile.style = windowsForm ? PathStyle::Windows : PathStyle::Posix;
        cdlgFile.failure = Failure(failure);
        cdlgFile.code = code;
        cdlgFile.description = description;
        cdlgFile.filesThatFit = filesThatFit;
        cdlgFile.SetFileName("left over from before.eml");
        for (const QByteArray& path : before) {
            window.Files().AddFileToList(path);
        }
        window.CmdConvert2PDF->setEnabled(enabledBefore);

        for (int i = 0; i < clicks; ++i) {
            window.cmdAdd->click();
        }

        // Every time: the list emptied first, then the dialog set up afresh.
        QCOMPARE(cdlgFile.shown.size(), clicks);
        for (const ScriptedFileDialog::Shown& shown : cdlgFile.shown) {
            QVERIFY(shown.listWasEmpty);
            QCOMPARE(shown.fileName, QByteArray());
            QCOMPARE(shown.filter, kFilter);
            QCOMPARE(shown.flags, 0x80200);
            QCOMPARE(shown.maxFileSize, 1000);
        }

        const FlexGrid& grid = *window.grdFiles1;
        if (rows.isEmpty()) {
            QCOMPARE(grid.Rows(), 1);
            QCOMPARE(grid.TextMatrix(0), QByteArray());
            QCOMPARE(window.lblCount1->text(), QStringLiteral("0 files"));
        } else {
            QByteArrayList actual;
            for (int row = 0; row < grid.Rows(); ++row) {
                actual << grid.TextMatrix(row);
            }
            QCOMPARE(actual, rows);
            QCOMPARE(window.lblCount1->text(), QStringLiteral("%1 files").arg(rows.size()));
        }
        QCOMPARE(window.CmdConvert2PDF->isEnabled(), enabledAfter);
        QCOMPARE(dialogs.warnings, warnings);
        QCOMPARE(dialogs.others, QStringList());
    }

    void realDialog_data() {
        QTest::addColumn<QStringList>("files");   // created in a fresh folder
        QTest::addColumn<QStringList>("pick");    // typed into the dialog; none = cancel
        QTest::addColumn<QStringList>("pieces");  // the returned text after the folder
        QTest::addColumn<bool>("single");         // the text is the full path of one file

        // 2 bytes but one character each: 10 names of 72 characters, about 1400 bytes.
        QStringList accented;
        for (int i = 0; i < 10; ++i) {
            accented << QString::number(i) + Repeat(QChar(0xe9), 67) + QStringLiteral(".eml");
        }

        QTest::newRow("one file") << QStringList{"a.eml", "b.eml"} << QStringList{"a.eml"}
                                  << QStringList{"a.eml"} << true;
        QTest::newRow("two files, as picked")
            << QStringList{"a.eml", "b.eml", "c.eml"} << QStringList{"c.eml", "a.eml"}
            << QStringList{"c.eml", "a.eml"} << false;
        QTest::newRow("a name typed with its subfolder")
            << QStringList{"a.eml", "sub/c.eml"} << QStringList{"sub/c.eml", "a.eml"}
            << QStringList{"sub/c.eml", "a.eml"} << false;
        QTest::newRow("cancel") << QStringList{"a.eml"} << QStringList() << QStringList() << false;
        QTest::newRow("names counted in characters, not bytes")
            << accented << accented << accented << false;
    }

    void realDialog() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, pick);
        QFETCH(QStringList, pieces);
        QFETCH(bool, single);

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString folder = QDir(temp.path()).canonicalPath();
        QVERIFY(CreateFiles(folder, files));

        const Opened opened = OpenRealDialog(folder, pick);
        QVERIFY(opened.seen.found);
        QCOMPARE(opened.seen.nameFilters, QStringList{"Outlook Express Email Messages (*.eml)"});
        QCOMPARE(opened.seen.fileMode, QFileDialog::ExistingFiles);
        QCOMPARE(opened.seen.acceptMode, QFileDialog::AcceptOpen);
        QCOMPARE(opened.failureCode, 0);

        QByteArray expected;
        if (single) {
            expected = QFile::encodeName(folder + u'/' + pieces.front());
        } else if (!pieces.isEmpty()) {
            expected = QFile::encodeName(folder);
            for (const QString& piece : pieces) {
                expected += '\0' + piece.toUtf8();
            }
        }
        QCOMPARE(opened.returned, expected);
    }

    // Files whose first `fit` names fill the 1000 characters exactly (plus `extra`).
    void realDialogLimit_data() {
        QTest::addColumn<int>("extra");  // characters added to the first name
        QTest::addColumn<int>("more");   // files picked beyond those that fill the limit
        QTest::addColumn<bool>("fails");
        QTest::addColumn<int>("fitBelow");  // the files that fit, below those that fill it

        QTest::newRow("exactly 1000 characters") << 0 << 0 << false << 0;
        QTest::newRow("1001 characters") << 1 << 0 << true << 1;
        QTest::newRow("more files than fill 1000 characters") << 0 << 3 << true << 0;
    }

    void realDialogLimit() {
        QFETCH(int, extra);
        QFETCH(int, more);
        QFETCH(bool, fails);
        QFETCH(int, fitBelow);

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString folder = QDir(temp.path()).canonicalPath();
        // The text is the folder, then a NUL and a name per file: names of 100 characters
        // after the first, whose length makes the first `filling` files total 1000.
        const int room = 1000 - int(folder.size());
        const int filling = room / 101;
        const int firstLength = room - filling - (filling - 1) * 100 + extra;
        QVERIFY(firstLength >= 100 && firstLength <= 250);
        QStringList names;
        for (int i = 0; i < filling + more; ++i) {
            const int length = i == 0 ? firstLength : 100;
            const QString number = QStringLiteral("%1").arg(i, 2, 10, QChar(u'0'));
            names << number + Repeat(u'x', length - 6) + QStringLiteral(".eml");
        }
        QVERIFY(CreateFiles(folder, names));

        const Opened opened = OpenRealDialog(folder, names);
        QVERIFY(opened.seen.found);
        if (!fails) {
            QCOMPARE(opened.failureCode, 0);
            QCOMPARE(opened.returned.size(), 1000);
            QCOMPARE(opened.returned, QFile::encodeName(folder + u'\0' + names.join(u'\0')));
            return;
        }
        QCOMPARE(opened.failureCode, kErrBufferTooSmall);
        QCOMPARE(opened.filesThatFit, filling - fitBelow);
        QCOMPARE(opened.returned, QByteArray());
    }

    // The whole way: the button, the real dialog and the list.
    void realDialogThroughTheWindow() {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString folder = QDir(temp.path()).canonicalPath();
        for (const char* name : {"a.eml", "b.eml"}) {
            QFile file(folder + u'/' + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        RecordingDialogs dialogs;
        CommonDialog cdlgFile(false);
        frmStep1 window({.dialogs = &dialogs, .cdlgFile = &cdlgFile});
        window.Files().AddFileToList("/old/x.eml");

        SeenDialog seen;
        WhenFileDialogShows([&](QFileDialog& dialog) {
            PickInDialog(dialog, folder, {"b.eml", "a.eml"}, seen);
        });
        window.cmdAdd->click();

        QVERIFY(seen.found);
        QCOMPARE(seen.nameFilters, QStringList{"Outlook Express Email Messages (*.eml)"});
        QCOMPARE(seen.fileMode, QFileDialog::ExistingFiles);
        QCOMPARE(window.grdFiles1->Rows(), 2);
        QCOMPARE(window.grdFiles1->TextMatrix(0), QFile::encodeName(folder + "/b.eml"));
        QCOMPARE(window.grdFiles1->TextMatrix(1), QFile::encodeName(folder + "/a.eml"));
        QCOMPARE(window.lblCount1->text(), QStringLiteral("2 files"));
        QVERIFY(window.CmdConvert2PDF->isEnabled());
        QCOMPARE(dialogs.warnings, QStringList());
    }
};

QTEST_MAIN(AddFilesTest)
#include "test_ui_add_files.moc"
