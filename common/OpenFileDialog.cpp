#include "OpenFileDialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStringList>
#include <utility>

namespace tolvik {
namespace {

const QChar kNul(u'\0');

// Characters as the user sees them: a pair of surrogates is one character.
qsizetype CharacterCount(const QString& text) {
    qsizetype count = 0;
    for (const QChar c : text) {
        if (!c.isLowSurrogate()) {
            ++count;
        }
    }
    return count;
}

QString ParentFolder(const QString& path) {
    const qsizetype cut = path.lastIndexOf(u'/');
    return cut <= 0 ? QStringLiteral("/") : path.left(cut);
}

bool IsInside(const QString& path, const QString& folder) {
    if (folder == QStringLiteral("/")) {
        return path.startsWith(u'/');
    }
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/';
}

// The returned text for picked files (absolute paths): the path itself for one file; for
// several, the folder that holds them all, then each path relative to it, NUL-separated.
// Names typed with a subfolder ("sub/b.eml") keep that subfolder in their piece.
QString ReturnedText(const QStringList& picked) {
    if (picked.size() == 1) {
        return picked.front();
    }
    QString folder = ParentFolder(picked.front());
    for (const QString& path : picked) {
        while (!IsInside(path, folder)) {
            folder = ParentFolder(folder);
        }
    }
    const qsizetype skip = folder.endsWith(u'/') ? folder.size() : folder.size() + 1;
    QString text = folder;
    for (const QString& path : picked) {
        text += kNul;
        text += path.mid(skip);
    }
    return text;
}

// How many of the picked files, in their order, give a returned text within the limit.
int FilesThatFit(const QStringList& picked, int maxCharacters) {
    int fit = 0;
    while (fit < picked.size() &&
           CharacterCount(ReturnedText(picked.mid(0, fit + 1))) <= maxCharacters) {
        ++fit;
    }
    return fit;
}

}  // namespace

DialogError::DialogError(int code, QString description, int filesThatFit)
    : code_(code),
      description_(std::move(description)),
      filesThatFit_(filesThatFit),
      what_(description_.toStdString()) {}

QStringList NameFiltersOf(const QString& filter) {
    QStringList filters;
    if (filter.isEmpty()) {
        return filters;
    }
    const QStringList pieces = filter.split(u'|');
    for (qsizetype i = 0; i < pieces.size(); i += 2) {
        const QString& description = pieces[i];
        QStringList patterns;
        if (i + 1 < pieces.size()) {
            for (const QString& pattern : pieces[i + 1].split(u';', Qt::SkipEmptyParts)) {
                patterns.append(pattern.trimmed());
            }
        }
        if (patterns.isEmpty()) {
            patterns.append(QStringLiteral("*"));
        }
        // The dialog takes the patterns from the parentheses at the end of an entry; an
        // entry that already shows them there is used as it is.
        const QString shown = QStringLiteral("(") + patterns.join(u' ') + QStringLiteral(")");
        if (description.endsWith(shown)) {
            filters.append(description);
        } else {
            filters.append(description + u' ' + shown);
        }
    }
    return filters;
}

void CommonDialog::ShowOpen(QWidget* owner) {
    const QString initialName = QFile::decodeName(FileName());
    SetFileName(QByteArray());

    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((Flags() & kOfnAllowMultiSelect) != 0 ? QFileDialog::ExistingFiles
                                                             : QFileDialog::ExistingFile);
    if (!nativeDialog_) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    }
    const QStringList filters = NameFiltersOf(Filter());
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }

    QStringList picked;
    for (const QString& path : dialog.selectedFiles()) {
        picked.append(QDir::cleanPath(QDir(dialog.directory()).absoluteFilePath(path)));
    }
    if (picked.isEmpty()) {
        return;
    }
    const QString text = ReturnedText(picked);
    if (CharacterCount(text) > MaxFileSize()) {
        throw DialogError(kErrBufferTooSmall,
                          QStringLiteral("The names of the selected files do not fit into %1 "
                                         "characters")
                              .arg(MaxFileSize()),
                          FilesThatFit(picked, MaxFileSize()));
    }
    SetFileName(QFile::encodeName(text));
}

}  // namespace tolvik
