// The program's only window: the file list, its commands and the conversion run.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "FileSystem.h"

class QLabel;
class QPushButton;

namespace tolvik {

class Dialogs;
class FileList;
class FlexGrid;
class FolderPicker;
class OpenFileDialog;
class ProgressBar;

// What the window asks of the outside world; tests hand in scripted stand-ins. Null members
// get the real dialogs.
struct WindowServices {
    FolderPicker* folderPicker = nullptr;
    Dialogs* dialogs = nullptr;
    OpenFileDialog* cdlgFile = nullptr;
    // The file system the add-folder command lists trees from; empty means the disk.
    FileSystemFactory fileSystem = {};
};

class frmStep1 : public QWidget {
    Q_OBJECT
public:
    explicit frmStep1(WindowServices services = {}, QWidget* parent = nullptr);
    ~frmStep1() override;

    // The controls, by the names the commands use.
    QWidget* Shape2 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblCopyright = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* CmdAddFolder = nullptr;
    QPushButton* cmdClear1 = nullptr;
    QLabel* lblCount1 = nullptr;
    FlexGrid* grdFiles1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LblProgessCurrent = nullptr;
    ProgressBar* ProgressBar1 = nullptr;
    QPushButton* CmdConvert2PDF = nullptr;
    QWidget* Shape1 = nullptr;
    QWidget* Picture3 = nullptr;
    QPushButton* CmdHelp = nullptr;
    QPushButton* cmdEnd = nullptr;

    // The folder the add-folder command chose last, with one trailing separator.
    std::string SourceFolder;

    FileList& Files() { return *fileList_; }

    // True while a command that yields to events (adding a folder, converting) runs.
    bool CommandRunning() const { return busy_; }

    // How long the long commands may work between two rounds of event handling.
    void SetYieldInterval(int milliseconds) { yieldIntervalMs_ = milliseconds; }

    // Lets the window handle its events if the long command has worked long enough.
    void YieldToEvents();
    // True once the user asked to close the window during a long command.
    bool StopRequested() const { return closeRequested_; }

public Q_SLOTS:
    void cmdAdd_Click();
    void CmdAddFolder_Click();
    void cmdClear1_Click();
    void CmdConvert2PDF_Click();
    void CmdHelp_Click();
    void cmdEnd_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    // Marks a long command as running for the lifetime of the returned guard.
    class BusyScope;

    std::unique_ptr<FolderPicker> ownPicker_;
    std::unique_ptr<Dialogs> ownDialogs_;
    std::unique_ptr<OpenFileDialog> ownFileDialog_;
    FolderPicker* picker_;
    Dialogs* dialogs_;
    OpenFileDialog* cdlgFile_;
    FileSystemFactory fileSystem_;
    std::unique_ptr<FileList> fileList_;

    bool busy_ = false;
    bool closeRequested_ = false;
    bool shownOnce_ = false;
    int yieldIntervalMs_ = 15;
    QElapsedTimer sinceYield_;
};

}  // namespace tolvik
