#include "AddFolderCommand.h"

#include <QApplication>
#include <QPushButton>

#include "BrowseForFolder.h"
#include "Dialogs.h"
#include "FileList.h"
#include "MessageFiles.h"
#include "pathLogger.h"
#include "registry.h"

namespace tolvik {

void RunAddFolderCommand(const AddFolderCommand& command) {
    command.sourceFolder =
        command.picker.BrowseForFolder(command.owner, QStringLiteral("Choose Source Folder..."));
    if (command.sourceFolder.empty()) {
        return;
    }
    command.sourceFolder = WithTrailingSeparator(command.sourceFolder);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::shared_ptr<KeyedList<std::string>> files;
    int skippedFolders = 0;
    {
        pathLogger scanner(kNativeStyle, command.fileSystem);
        scanner.PathLogInit();
        scanner.fullFileNamesOnly(true);
        scanner.LogPath(command.sourceFolder);
        files = scanner.fullFileNames();
        skippedFolders = scanner.SkippedFolders();
        scanner.Terminate();
    }

    int added = 0;
    for (const std::string& path : *files) {
        if (command.stopRequested()) {
            break;
        }
        command.yield();
        if (IsMessagePath(path)) {
            command.yield();
            command.list.AddFileToList(QByteArray::fromStdString(path));
            ++added;
        }
    }
    QApplication::restoreOverrideCursor();

    command.convertButton.setEnabled(added > 0);
    QString report = QString::number(added) + QStringLiteral(" Files Added to List.");
    if (skippedFolders > 0) {
        report += QStringLiteral("\n%1 folders could not be read.").arg(skippedFolders);
    }
    command.dialogs.Inform(command.owner, report);
}

}  // namespace tolvik
