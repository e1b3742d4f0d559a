#include "AddFilesCommand.h"

#include <QByteArray>
#include <QPushButton>
#include <QString>
#include <exception>
#include <new>

#include "Dialogs.h"
#include "FileList.h"
#include "OpenFileDialog.h"
#include "registry.h"

namespace tolvik {
namespace {

constexpr int kMaxReturnedText = 1000;
const QString kMessageFilter = QStringLiteral("Outlook Express Email Messages (*.eml)|*.eml");

void AddPickedFiles(FileList& list, QPushButton& convertButton, OpenFileDialog& cdlgFile,
                    QWidget* owner) {
    list.ClearFileList();

    cdlgFile.SetFileName(QByteArray());
    cdlgFile.SetFilter(kMessageFilter);
    cdlgFile.SetFlags(kOfnExplorer | kOfnAllowMultiSelect);
    cdlgFile.SetMaxFileSize(kMaxReturnedText);
    cdlgFile.ShowOpen(owner);

    QByteArray text = cdlgFile.FileName();
    if (text.isEmpty()) {
        return;
    }
    if (!text.endsWith('\0')) {
        text.append('\0');
    }
    convertButton.setEnabled(true);

    // Entries 0 to U, U being the number of NULs; entry U (after the last NUL) is empty.
    const QList<QByteArray> entries = text.split('\0');
    const qsizetype last = entries.size() - 1;

    // Several files come as their folder followed by their names.
    QByteArray prefix;
    if (last >= 2) {
        const char separator = SeparatorOf(cdlgFile.ReturnedPathStyle());
        prefix = entries[0];
        if (!prefix.endsWith(separator)) {
            prefix.append(separator);
        }
    }
    for (qsizetype i = 0; i < last; ++i) {
        if (i == 0 && !prefix.isEmpty()) {
            continue;
        }
        list.AddFileToList(prefix + entries[i]);
    }
}

}  // namespace

void RunAddFilesCommand(FileList& list, QPushButton& convertButton, OpenFileDialog& cdlgFile,
                        Dialogs& dialogs, QWidget* owner) {
    int code = 0;
    QString description;
    try {
        AddPickedFiles(list, convertButton, cdlgFile, owner);
        return;
    } catch (const DialogError& error) {
        if (error.Code() == kErrBufferTooSmall) {
            const int most = error.FilesThatFit() > 1 ? error.FilesThatFit() : 1;
            dialogs.Warn(owner, QStringLiteral("Please select only %1 files at a time").arg(most));
            return;
        }
        code = error.Code();
        description = error.Description();
    } catch (const std::bad_alloc&) {
        code = kErrOutOfMemory;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& error) {
        code = kErrInternal;
        description = QString::fromLocal8Bit(error.what());
        if (description.isEmpty()) {
            description = QStringLiteral("Internal error");
        }
    } catch (...) {
        code = kErrInternal;
        description = QStringLiteral("Internal error");
    }
    dialogs.Warn(owner, QString::number(code) + u':' + description);
}

}  // namespace tolvik
