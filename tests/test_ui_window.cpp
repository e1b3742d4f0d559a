// The main window as the user meets it: its first state, the place, size and font of every
// control, the keyboard (tab order, access keys, no default button), the exit question, the
// close box, resizing, and the help command.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include "FileList.h"
#include "FlexGrid.h"
#include "HelpViewer.h"
#include "OpenFileDialog.h"
#include "ProgressBar.h"
#include "ScriptedServices.h"
#include "frmStep1.h"

using namespace tolvik;

namespace {

// Counts the open-file dialogs shown; each is cancelled.
class CountingFileDialog : public OpenFileDialog {
public:
    int shown = 0;
    void ShowOpen(QWidget*) override {
        ++shown;
        SetFileName({});
    }
};

// Every control of the layout.
const QStringList kControls = {
    "Shape2",       "Shape1",       "lblTitle",  "lblCopyright",      "cmdAdd",
    "CmdAddFolder", "cmdClear1",    "lblCount1", "grdFiles1",         "Label4",
    "Image1",       "ProgressBar1", "Picture3",  "LblProgessCurrent", "CmdConvert2PDF",
    "CmdHelp",      "cmdEnd"};

// A window with scripted dialogs; no real dialog ever opens.
struct Fixture {
    ScriptedFolderPicker picker;
    ScriptedDialogs dialogs;
    CountingFileDialog fileDialog;
    frmStep1 window{{.folderPicker = &picker, .dialogs = &dialogs, .cdlgFile = &fileDialog}};

    int Px(int twips) const { return qRound(twips * window.logicalDpiX() / 1440.0); }
    QWidget* Control(const QString& name) const { return window.findChild<QWidget*>(name); }

    bool ShowActive() {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    void AddFiles(int count) {
        for (int i = 0; i < count; ++i) {
            window.Files().AddFileToList(QStringLiteral("/mail/Inbox/m%1.eml").arg(i).toUtf8());
        }
        window.grdFiles1->Publish();
        window.CmdConvert2PDF->setEnabled(count > 0);
    }
    QWidget* Viewer() const {
        return window.findChild<QWidget*>(QStringLiteral("HelpViewer"), Qt::FindDirectChildrenOnly);
    }
    QString ViewerText() const {
        QWidget* viewer = Viewer();
        auto* browser =
            viewer ? viewer->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser")) : nullptr;
        return browser ? browser->toPlainText() : QString();
    }
    // What the window did in reply to the user: the dialogs it opened and whether it closed.
    QStringList Effects() const {
        QStringList effects;
        for (const QString& title : picker.titles) {
            effects << "folder dialog: " + title;
        }
        for (int i = 0; i < fileDialog.shown; ++i) {
            effects << QStringLiteral("file dialog");
        }
        for (const ScriptedDialogs::Box& box : dialogs.boxes) {
            effects << box.kind + ": " + box.text;
        }
        if (Viewer() != nullptr && Viewer()->isVisible()) {
            effects << QStringLiteral("help viewer");
        }
        if (!window.isVisible()) {
            effects << QStringLiteral("closed");
        }
        return effects;
    }
    QList<QRect> Geometries() const {
        QList<QRect> geometries;
        for (const QString& name : kControls) {
            geometries << Control(name)->geometry();
        }
        return geometries;
    }
};

// The title of the manual's first page, from the manual's sources.
QString DefaultTopicTitle() {
    auto read = [](const QString& name) {
        QFile file(QStringLiteral(TOLVIK_SOURCE_ROOT "/help/") + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString topic = QRegularExpression(QStringLiteral("(?m)^Default topic=(.+)$"))
                              .match(read(QStringLiteral("Tolvik.hhp")))
                              .captured(1)
                              .trimmed();
    return QRegularExpression(QStringLiteral("<title>([^<]*)</title>"))
        .match(read(topic))
        .captured(1)
        .trimmed();
}

QStringList Names(const QList<QWidget*>& widgets) {
    QStringList names;
    for (QWidget* widget : widgets) {
        names << (widget ? widget->objectName() : QStringLiteral("<none>"));
    }
    return names;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstState() {
        Fixture f;
        frmStep1& w = f.window;
        QCOMPARE(w.windowTitle(), QString("Tolvik"));
        QCOMPARE(w.lblTitle->text(), QString("Tolvik"));
        QCOMPARE(w.lblCount1->text(), QString("0 files"));
        QCOMPARE(w.LblProgessCurrent->text(), QString("Message 0 (of 0)"));
        QCOMPARE(w.Label4->text(), QString("Converting Messages..."));
        QVERIFY(!w.lblCopyright->text().isEmpty());
        QCOMPARE(w.Image1->pixmap().size(), QSize(22, 22));

        // One empty row, no header row or column, a column wider than the grid.
        QCOMPARE(w.grdFiles1->Rows(), 1);
        QCOMPARE(w.grdFiles1->TextMatrix(0), QByteArray());
        QVERIFY(w.Files().IsEmpty());
        QCOMPARE(w.grdFiles1->ColWidth(), 10000);
        QCOMPARE(w.grdFiles1->columnWidth(0), f.Px(10000));
        QVERIFY(w.grdFiles1->horizontalHeader()->isHidden());
        QVERIFY(w.grdFiles1->verticalHeader()->isHidden());

        QCOMPARE(w.ProgressBar1->Min(), 0.0f);
        QCOMPARE(w.ProgressBar1->Max(), 100.0f);
        QCOMPARE(w.ProgressBar1->Value(), 0.0f);
        QVERIFY(!w.CmdConvert2PDF->isEnabled());
        QVERIFY(w.SourceFolder.empty());

        // Client area 8145 x 6015 twips (543 x 401 pixels at 96 dots per inch).
        QCOMPARE(w.size(), QSize(f.Px(8145), f.Px(6015)));
        if (w.logicalDpiX() == 96) {
            QCOMPARE(w.size(), QSize(543, 401));
        }

        // Minimise and close buttons, no maximise button.
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        // No button answers Enter for the window.
        const QList<QPushButton*> buttons = w.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 6);
        for (QPushButton* button : buttons) {
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
        }

        // Shown centred, with the focus on the first button.
        QVERIFY(f.ShowActive());
        QCOMPARE(QApplication::focusWidget(), w.cmdAdd);
        const QPoint offCentre =
            w.frameGeometry().center() - w.screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QString::number(offCentre.x())));
        QVERIFY(w.isEnabled());
        QVERIFY(f.Effects().isEmpty());

        // The column is wider than the grid; its scroll bar reaches the column's far end.
        const QScrollBar* across = w.grdFiles1->horizontalScrollBar();
        QTRY_VERIFY(across->isVisible());
        QCOMPARE(across->maximum(), f.Px(10000) - w.grdFiles1->viewport()->width());
    }

    // Left, top, width and height in twips; the buttons in Picture3 are placed within it.
    void layout_data() {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("twips");
        auto row = [](const char* name, const char* parent, int left, int top, int width,
                      int height) {
            QTest::newRow(name) << QString::fromLatin1(parent) << QRect(left, top, width, height);
        };
        row("Shape2", "frmStep1", -120, 0, 8415, 855);
        row("lblTitle", "frmStep1", 240, 120, 7695, 375);
        row("lblCopyright", "frmStep1", 240, 480, 6135, 255);
        row("cmdAdd", "frmStep1", 240, 960, 1815, 375);
        row("CmdAddFolder", "frmStep1", 2400, 960, 2775, 375);
        row("cmdClear1", "frmStep1", 6240, 960, 1695, 375);
        row("lblCount1", "frmStep1", 270, 1560, 7695, 255);
        row("grdFiles1", "frmStep1", 240, 1800, 7695, 1575);
        row("Label4", "frmStep1", 240, 3480, 2535, 255);
        row("Image1", "frmStep1", 240, 3800, 330, 330);
        row("LblProgessCurrent", "frmStep1", 720, 3840, 6255, 255);
        row("ProgressBar1", "frmStep1", 240, 4200, 7695, 255);
        row("CmdConvert2PDF", "frmStep1", 2760, 4680, 2655, 435);
        row("Shape1", "frmStep1", 0, 5400, 8415, 855);
        row("Picture3", "frmStep1", 240, 5520, 7695, 495);
        row("CmdHelp", "Picture3", 0, 0, 1695, 375);
        row("cmdEnd", "Picture3", 6360, 0, 1335, 375);
    }

    void layout() {
        QFETCH(QString, parent);
        QFETCH(QRect, twips);
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QWidget* control = f.Control(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control != nullptr);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), QRect(f.Px(twips.left()), f.Px(twips.top()),
                                            f.Px(twips.width()), f.Px(twips.height())));
        QVERIFY(control->isVisible());
        // The white bands lie beneath everything; every other control is on top where it is.
        if (!control->objectName().startsWith(QLatin1String("Shape"))) {
            QWidget* hit = f.window.childAt(control->mapTo(&f.window, control->rect().center()));
            QVERIFY2(hit == control || control->isAncestorOf(hit),
                     qPrintable(hit ? hit->objectName() : QStringLiteral("nothing")));
        }
    }

    void fonts_data() {
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::newRow("lblTitle") << 14.25 << true;
        for (const char* name :
             {"lblCopyright", "cmdAdd", "CmdAddFolder", "cmdClear1", "lblCount1", "grdFiles1",
              "Label4", "LblProgessCurrent", "CmdConvert2PDF", "CmdHelp", "cmdEnd"}) {
            QTest::newRow(name) << 8.25 << false;
        }
    }

    void fonts() {
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        Fixture f;
        const QFont font = f.Control(QString::fromLatin1(QTest::currentDataTag()))->font();
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.bold(), bold);
        QCOMPARE(font.families().value(0), QString("Tahoma"));
        const QFontInfo shown(font);
        if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
            QCOMPARE(shown.family(), QString("Tahoma"));
        } else {
            // The nearest sans-serif face stands in.
            QVERIFY2(!shown.fixedPitch(), qPrintable(shown.family()));
            QVERIFY2(!shown.family().contains(QLatin1String("Serif")) ||
                         shown.family().contains(QLatin1String("Sans")),
                     qPrintable(shown.family()));
        }
    }

    void captions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("accessKey");
        const QKeySequence none;
        QTest::newRow("cmdAdd") << "Add EML File(s)..." << none;
        QTest::newRow("CmdAddFolder") << "Add Folder having EML File(s)..." << none;
        QTest::newRow("cmdClear1") << "Clear File(s)..." << none;
        QTest::newRow("CmdConvert2PDF")
            << "Convert &Messages to Mac Mail" << QKeySequence(Qt::ALT | Qt::Key_M);
        QTest::newRow("CmdHelp") << "&Help Manual" << QKeySequence(Qt::ALT | Qt::Key_H);
        QTest::newRow("cmdEnd") << "E&xit" << QKeySequence(Qt::ALT | Qt::Key_X);
    }

    void captions() {
        QFETCH(QString, text);
        QFETCH(QKeySequence, accessKey);
        Fixture f;
        auto* button = qobject_cast<QPushButton*>(f.Control(QTest::currentDataTag()));
        QVERIFY(button != nullptr);
        QCOMPARE(button->text(), text);
        QCOMPARE(QKeySequence::mnemonic(button->text()), accessKey);
    }

    // Tab and Shift+Tab from cmdAdd all the way round; the grid passes Tab on whatever rows it
    // holds, and a disabled convert button is passed over.
    void tabOrder_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("convertEnabled");
        QTest::addColumn<QStringList>("order");
        const QStringList all = {"cmdAdd",         "cmdClear1", "CmdAddFolder", "grdFiles1",
                                 "CmdConvert2PDF", "cmdEnd",    "CmdHelp"};
        QStringList withoutConvert = all;
        withoutConvert.removeAll(QStringLiteral("CmdConvert2PDF"));
        QTest::newRow("empty list, convert disabled") << 0 << false << withoutConvert;
        QTest::newRow("three files, convert enabled") << 3 << true << all;
        QTest::newRow("three files, convert disabled") << 3 << false << withoutConvert;
    }

    void tabOrder() {
        QFETCH(int, files);
        QFETCH(bool, convertEnabled);
        QFETCH(QStringList, order);
        Fixture f;
        f.AddFiles(files);
        f.window.CmdConvert2PDF->setEnabled(convertEnabled);
        QVERIFY(f.ShowActive());
        const int currentRow = f.window.grdFiles1->Row();

        // The focus chain itself, as far as focusable enabled controls go.
        QList<QWidget*> chain;
        QWidget* widget = f.window.cmdAdd;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() &&
                widget->isVisible() && f.window.isAncestorOf(widget)) {
                chain << widget;
            }
            widget = widget->nextInFocusChain();
        } while (widget != f.window.cmdAdd && chain.size() <= order.size());
        QCOMPARE(Names(chain), order);

        // The keyboard, both ways round.
        QStringList forward{f.window.cmdAdd->objectName()};
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward << Names({QApplication::focusWidget()});
        }
        QCOMPARE(forward, order + QStringList{order.first()});
        QStringList backward{order.first()};
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward << Names({QApplication::focusWidget()});
        }
        QStringList reversed(order.rbegin(), order.rend());
        QCOMPARE(backward, QStringList{order.first()} + reversed);
        QCOMPARE(f.window.grdFiles1->Row(), currentRow);
        QVERIFY(f.Effects().isEmpty());
    }

    // Access keys press their buttons; Enter and Escape press none.
    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("convertEnabled");
        QTest::addColumn<QStringList>("effects");
        const int alt = Qt::AltModifier;
        const QStringList none;
        QTest::newRow("Alt+M, convert disabled") << int(Qt::Key_M) << alt << false << none;
        QTest::newRow("Alt+M, convert enabled")
            << int(Qt::Key_M) << alt << true
            << QStringList{"folder dialog: Choose Folder to Save..."};
        QTest::newRow("Alt+H") << int(Qt::Key_H) << alt << false << QStringList{"help viewer"};
        QTest::newRow("Alt+X, answered No")
            << int(Qt::Key_X) << alt << false
            << QStringList{"question: Are you sure you want to exit now?"};
        QTest::newRow("Alt+A, no access key") << int(Qt::Key_A) << alt << true << none;
        QTest::newRow("Alt+C, no access key") << int(Qt::Key_C) << alt << true << none;
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << true << none;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << true << none;
    }

    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, convertEnabled);
        QFETCH(QStringList, effects);
        Fixture f;
        f.AddFiles(2);
        f.window.CmdConvert2PDF->setEnabled(convertEnabled);
        f.dialogs.answers = {false};
        QVERIFY(f.ShowActive());
        QCOMPARE(QApplication::focusWidget(), f.window.cmdAdd);
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key),
                        static_cast<Qt::KeyboardModifiers>(modifiers));
        // An access key presses its button the way a click looks, a moment later.
        if (effects.isEmpty()) {
            QTest::qWait(300);
            QCOMPARE(f.Effects(), effects);
        } else {
            QTRY_COMPARE(f.Effects(), effects);
        }
        QCOMPARE(f.window.Files().RowCount(), 2);
    }

    // The exit button asks first; No leaves the list and the progress display as they were.
    void exitQuestion_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }

    void exitQuestion() {
        QFETCH(bool, answer);
        Fixture f;
        f.AddFiles(3);
        f.window.ProgressBar1->SetValue(40.0f);
        f.window.LblProgessCurrent->setText(QStringLiteral("Message 2 (of 3)"));
        f.window.grdFiles1->SetRow(1);
        QVERIFY(f.ShowActive());
        f.dialogs.answers = {answer};
        QTest::mouseClick(f.window.cmdEnd, Qt::LeftButton);

        QStringList expected{"question: Are you sure you want to exit now?"};
        if (answer) {
            expected << QStringLiteral("closed");
        }
        QCOMPARE(f.Effects(), expected);
        QCOMPARE(f.window.Files().RowCount(), 3);
        QCOMPARE(f.window.Files().RowText(2), QByteArray("/mail/Inbox/m2.eml"));
        QCOMPARE(f.window.lblCount1->text(), QString("3 files"));
        QCOMPARE(f.window.grdFiles1->Row(), 1);
        QCOMPARE(f.window.ProgressBar1->Value(), 40.0f);
        QCOMPARE(f.window.LblProgessCurrent->text(), QString("Message 2 (of 3)"));
        QVERIFY(f.window.CmdConvert2PDF->isEnabled());
    }

    // The real question box: title, icon, Yes and No with Yes the default, so Enter closes.
    void exitBox_data() {
        QTest::addColumn<bool>("pressEnter");
        QTest::addColumn<bool>("closes");
        QTest::newRow("No clicked") << false << false;
        QTest::newRow("Enter") << true << true;
    }

    void exitBox() {
        QFETCH(bool, pressEnter);
        QFETCH(bool, closes);
        frmStep1 window;  // the program's own message boxes
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPointer<QMessageBox> seen;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            poll.stop();
            seen = box;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            defaultButton = box->standardButton(box->defaultButton());
            if (pressEnter) {
                QTest::keyClick(box, Qt::Key_Return);
            } else {
                box->button(QMessageBox::No)->click();
            }
        });
        poll.start();
        QTimer::singleShot(10000, &poll, &QTimer::stop);  // a box that never shows
        QTest::mouseClick(window.cmdEnd, Qt::LeftButton);

        QCOMPARE(title, QString("Tolvik"));
        QCOMPARE(text, QString("Are you sure you want to exit now?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(defaultButton, QMessageBox::Yes);
        QCOMPARE(window.isVisible(), !closes);
    }

    // The close box closes at once, even with files listed; nothing is asked or cleared.
    void closeBoxClosesAtOnce() {
        Fixture f;
        f.AddFiles(2);
        QVERIFY(f.ShowActive());
        QVERIFY(f.window.close());
        QCOMPARE(f.Effects(), QStringList{"closed"});
        QCOMPARE(f.window.Files().RowCount(), 2);
    }

    // A larger window shows more background, a smaller one cuts controls off; nothing moves.
    void resizingMovesNothing() {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const QList<QRect> before = f.Geometries();
        for (const QSize size : {QSize(900, 700), QSize(200, 150), QSize(543, 100)}) {
            f.window.resize(size);
            QTRY_COMPARE(f.window.size(), size);
            QCOMPARE(f.Geometries(), before);
        }
    }

    // The help command opens the manual beside the program; a missing manual is reported in
    // the viewer only, and the window stays usable.
    void help_data() {
        QTest::addColumn<bool>("missing");
        QTest::newRow("manual beside the program") << false;
        QTest::newRow("manual missing") << true;
    }

    void help() {
        QFETCH(bool, missing);
        Fixture f;
        QVERIFY(f.ShowActive());
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        const QString manual = HelpManualPath(empty.path());
        if (missing) {
            ShowHelpManual(&f.window, manual);
        } else {
            QVERIFY2(QFile::exists(QCoreApplication::applicationDirPath() + "/Help-Manual.chm"),
                     "the manual is built beside the programs");
            QTest::mouseClick(f.window.CmdHelp, Qt::LeftButton);
        }
        QCOMPARE(f.Effects(), QStringList{"help viewer"});
        QVERIFY(f.Viewer()->isWindow());
        QVERIFY(!f.Viewer()->isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(f.window.isEnabled());
        const QString failure = QStringLiteral("The help manual could not be opened: ") + manual;
        QCOMPARE(f.ViewerText().contains(failure), missing);
        if (!missing) {
            const QString title = DefaultTopicTitle();
            QVERIFY(!title.isEmpty());
            QVERIFY2(f.ViewerText().contains(title), qPrintable(f.ViewerText()));
        }
        // The window still works beside the viewer.
        f.dialogs.answers = {false};
        QTest::mouseClick(f.window.cmdEnd, Qt::LeftButton);
        QCOMPARE(f.Effects(),
                 (QStringList{"question: Are you sure you want to exit now?", "help viewer"}));
    }
};

QTEST_MAIN(WindowTest)
#include "test_ui_window.moc"
