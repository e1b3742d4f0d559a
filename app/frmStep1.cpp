#include "frmStep1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "AddFilesCommand.h"
#include "AddFolderCommand.h"
#include "BrowseForFolder.h"
#include "ClearCommand.h"
#include "ConversionRun.h"
#include "Dialogs.h"
#include "FileList.h"
#include "FlexGrid.h"
#include "HelpViewer.h"
#include "OpenFileDialog.h"
#include "ProgressBar.h"
#include "RunReport.h"
#include "registry.h"

namespace tolvik {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kLightGrey(192, 192, 192);

// A filled rectangle with a one-pixel border.
class Shape : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), kWhite);
        painter.setPen(kLightGrey);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

QFont Tahoma(qreal points, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

// Carries out a long command's row-by-row work for the conversion run.
class WindowRunHost : public RunHost {
public:
    explicit WindowRunHost(frmStep1& window) : window_(window) {}

    void Yield() override { window_.YieldToEvents(); }
    bool StopRequested() override { return window_.StopRequested(); }
    void RowStarted(int row) override { window_.grdFiles1->SetRow(row); }
    void RowFinished(int row, int rowCount, float percent) override {
        window_.ProgressBar1->SetValue(percent);
        window_.LblProgessCurrent->setText(
            QStringLiteral("Message %1 (of %2)").arg(row + 1).arg(rowCount));
    }

private:
    frmStep1& window_;
};

}  // namespace

class frmStep1::BusyScope {
public:
    explicit BusyScope(frmStep1& window) : window_(window) { window_.busy_ = true; }
    ~BusyScope() {
        window_.busy_ = false;
        if (window_.closeRequested_) {
            window_.close();
        }
    }

private:
    frmStep1& window_;
};

frmStep1::frmStep1(WindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    if (services.folderPicker == nullptr) {
        ownPicker_ = std::make_unique<DialogFolderPicker>();
        services.folderPicker = ownPicker_.get();
    }
    if (services.dialogs == nullptr) {
        ownDialogs_ = std::make_unique<MessageBoxDialogs>();
        services.dialogs = ownDialogs_.get();
    }
    if (services.cdlgFile == nullptr) {
        ownFileDialog_ = std::make_unique<CommonDialog>();
        services.cdlgFile = ownFileDialog_.get();
    }
    cdlgFile_ = services.cdlgFile;
    fileSystem_ = services.fileSystem;
    picker_ = services.folderPicker;
    dialogs_ = services.dialogs;

    setObjectName(QStringLiteral("frmStep1"));
    setWindowTitle(kApplicationTitle);
    setWindowIcon(TolvikIcon());
    CreateControls();
    fileList_ = std::make_unique<FileList>(*grdFiles1, *lblCount1);
    grdFiles1->SetColWidth(10000);
    sinceYield_.start();
}

frmStep1::~frmStep1() = default;

void frmStep1::CreateControls() {
    const qreal dpi = logicalDpiX();
    auto px = [dpi](int twips) { return qRound(twips * dpi / 1440.0); };
    auto place = [&](QWidget* control, const char* name, int left, int top, int width, int height) {
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(px(left), px(top), px(width), px(height));
    };
    auto label = [&](const char* name, const QString& text, const QFont& font, int left, int top,
                     int width, int height) {
        auto* control = new QLabel(text, this);
        place(control, name, left, top, width, height);
        control->setFont(font);
        control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        control->setFocusPolicy(Qt::NoFocus);
        control->setTextFormat(Qt::PlainText);
        return control;
    };
    auto button = [&](QWidget* parent, const char* name, const QString& text, int left, int top,
                      int width, int height) {
        auto* control = new QPushButton(text, parent);
        place(control, name, left, top, width, height);
        control->setFont(Tahoma(8.25));
        control->setAutoDefault(false);
        control->setDefault(false);
        control->setFocusPolicy(Qt::StrongFocus);
        return control;
    };
    auto whiteBackground = [](QWidget* control) {
        QPalette palette = control->palette();
        palette.setColor(QPalette::Window, kWhite);
        control->setPalette(palette);
        control->setAutoFillBackground(true);
    };

    const int clientWidth = px(8145);
    const int clientHeight = px(6015);
    resize(clientWidth, clientHeight);
    setAutoFillBackground(true);  // the button-face colour of the palette

    // The white bands first, so that every other control lies above them.
    Shape2 = new Shape(this);
    place(Shape2, "Shape2", -120, 0, 8415, 855);
    Shape1 = new Shape(this);
    place(Shape1, "Shape1", 0, 5400, 8415, 855);

    lblTitle = label("lblTitle", kApplicationTitle, Tahoma(14.25, true), 240, 120, 7695, 375);
    whiteBackground(lblTitle);
    lblCopyright = label("lblCopyright",
                         QStringLiteral("Copyright \u00a9 2026 Tolvik developers. "
                                        "Support: tolvik@users.invalid"),
                         Tahoma(8.25), 240, 480, 6135, 255);
    whiteBackground(lblCopyright);

    cmdAdd = button(this, "cmdAdd", QStringLiteral("Add EML File(s)..."), 240, 960, 1815, 375);
    CmdAddFolder = button(this, "CmdAddFolder", QStringLiteral("Add Folder having EML File(s)..."),
                          2400, 960, 2775, 375);
    cmdClear1 = button(this, "cmdClear1", QStringLiteral("Clear File(s)..."), 6240, 960, 1695, 375);

    lblCount1 = label("lblCount1", QStringLiteral("0 files"), Tahoma(8.25), 270, 1560, 7695, 255);
    lblCount1->setAutoFillBackground(true);

    grdFiles1 = new FlexGrid(this);
    place(grdFiles1, "grdFiles1", 240, 1800, 7695, 1575);
    grdFiles1->setFont(Tahoma(8.25));
    grdFiles1->setStyleSheet(QStringLiteral(
        "QTableView { background-color: rgb(255,255,255); gridline-color: rgb(192,192,192);"
        " selection-background-color: rgb(224,224,224); selection-color: "
        "palette(highlighted-text); }"
        " QTableView::item { background-color: rgb(255,255,191); color: palette(window-text); }"
        " QTableView::item:selected { background-color: rgb(224,224,224);"
        " color: palette(highlighted-text); }"));
    grdFiles1->setFocusPolicy(Qt::StrongFocus);
    // Tab leaves the grid for the next control instead of stepping through its rows.
    grdFiles1->setTabKeyNavigation(false);
    // The column is wider than the grid: scroll it by pixels, so that the scroll bar reaches
    // the ends of long paths (scrolling by whole columns gives a single column no scroll bar).
    grdFiles1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    Label4 = label("Label4", QStringLiteral("Converting Messages..."), Tahoma(8.25), 240, 3480,
                   2535, 255);
    Image1 = new QLabel(this);
    place(Image1, "Image1", 240, 3800, 330, 330);
    Image1->setPixmap(QPixmap(QStringLiteral(":/tolvik/tick.png")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setFocusPolicy(Qt::NoFocus);

    LblProgessCurrent = label("LblProgessCurrent", QStringLiteral("Message 0 (of 0)"), Tahoma(8.25),
                              720, 3840, 6255, 255);
    QPalette black = LblProgessCurrent->palette();
    black.setColor(QPalette::WindowText, QColor(0, 0, 0));
    LblProgessCurrent->setPalette(black);

    ProgressBar1 = new ProgressBar(this);
    place(ProgressBar1, "ProgressBar1", 240, 4200, 7695, 255);
    ProgressBar1->SetMin(0.0f);
    ProgressBar1->SetMax(100.0f);
    ProgressBar1->SetValue(0.0f);

    CmdConvert2PDF = button(this, "CmdConvert2PDF", QStringLiteral("Convert &Messages to Mac Mail"),
                            2760, 4680, 2655, 435);
    CmdConvert2PDF->setEnabled(false);

    Picture3 = new QWidget(this);
    place(Picture3, "Picture3", 240, 5520, 7695, 495);
    whiteBackground(Picture3);
    Picture3->setFocusPolicy(Qt::NoFocus);
    CmdHelp = button(Picture3, "CmdHelp", QStringLiteral("&Help Manual"), 0, 0, 1695, 375);
    cmdEnd = button(Picture3, "cmdEnd", QStringLiteral("E&xit"), 6360, 0, 1335, 375);

    // Tab order; labels, the picture and the progress bar never take the focus.
    QWidget::setTabOrder(cmdAdd, cmdClear1);
    QWidget::setTabOrder(cmdClear1, CmdAddFolder);
    QWidget::setTabOrder(CmdAddFolder, grdFiles1);
    QWidget::setTabOrder(grdFiles1, CmdConvert2PDF);
    QWidget::setTabOrder(CmdConvert2PDF, cmdEnd);
    QWidget::setTabOrder(cmdEnd, CmdHelp);

    connect(cmdAdd, &QPushButton::clicked, this, &frmStep1::cmdAdd_Click);
    connect(CmdAddFolder, &QPushButton::clicked, this, &frmStep1::CmdAddFolder_Click);
    connect(cmdClear1, &QPushButton::clicked, this, &frmStep1::cmdClear1_Click);
    connect(CmdConvert2PDF, &QPushButton::clicked, this, &frmStep1::CmdConvert2PDF_Click);
    connect(CmdHelp, &QPushButton::clicked, this, &frmStep1::CmdHelp_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &frmStep1::cmdEnd_Click);
}

void frmStep1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        cmdAdd->setFocus(Qt::OtherFocusReason);
    }
}

void frmStep1::closeEvent(QCloseEvent* event) {
    if (busy_) {
        // Stop the long command after the record it is writing; the window closes then.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

void frmStep1::YieldToEvents() {
    if (sinceYield_.elapsed() >= yieldIntervalMs_) {
        QCoreApplication::processEvents();
        sinceYield_.restart();
    }
}

void frmStep1::cmdAdd_Click() {
    if (busy_ || cdlgFile_ == nullptr) {
        return;
    }
    RunAddFilesCommand(*fileList_, *CmdConvert2PDF, *cdlgFile_, *dialogs_, this);
}

void frmStep1::CmdAddFolder_Click() {
    if (busy_) {
        return;
    }
    BusyScope busy(*this);
    RunAddFolderCommand({.list = *fileList_,
                         .convertButton = *CmdConvert2PDF,
                         .picker = *picker_,
                         .dialogs = *dialogs_,
                         .owner = this,
                         .sourceFolder = SourceFolder,
                         .yield = [this] { YieldToEvents(); },
                         .stopRequested = [this] { return closeRequested_; },
                         .fileSystem = fileSystem_});
}

void frmStep1::cmdClear1_Click() {
    if (busy_) {
        return;
    }
    RunClearCommand(*fileList_, *dialogs_, this);
}

void frmStep1::CmdConvert2PDF_Click() {
    if (busy_ || fileList_->IsEmpty()) {
        return;
    }
    const std::string folder =
        picker_->BrowseForFolder(this, QStringLiteral("Choose Folder to Save..."));
    if (folder.empty()) {
        return;
    }
    RunSummary summary;
    {
        BusyScope busy(*this);
        const std::string outputFolder = WithTrailingSeparator(folder);
        YieldToEvents();
        ProgressBar1->SetMin(0.0f);
        ProgressBar1->SetMax(100.0f);
        WindowRunHost host(*this);
        ConversionRun run(outputFolder, host);
        summary = run.Run(fileList_->RowCount(),
                          [this](int row) { return fileList_->RowText(row).toStdString(); });
        // Each path is decoded on its own: one name in Latin-1 must not garble the others.
        const std::string text = RunReportText(
            summary, [](const std::string& path) { return DisplayPath(path).toStdString(); });
        if (!summary.stopped && !text.empty()) {
            dialogs_->Warn(this, QString::fromStdString(text));
        }
    }
}

void frmStep1::CmdHelp_Click() {
    ShowHelpManual(
        this, HelpManualPath(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
}

void frmStep1::cmdEnd_Click() {
    if (dialogs_->AskYesNo(this, QStringLiteral("Are you sure you want to exit now?"))) {
        close();
    }
}

}  // namespace tolvik
