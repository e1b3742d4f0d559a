#include "BrowseForFolder.h"

#include <QFile>
#include <QFileDialog>
#include <QStringDecoder>

#include "registry.h"

namespace tolvik {

std::string DialogFolderPicker::BrowseForFolder(QWidget* owner, const QString& title) {
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, title, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) {
        return {};
    }
    std::string path = QFile::encodeName(chosen).toStdString();
    const char sep = SeparatorOf(kNativeStyle);
    while (path.size() > 1 && path.back() == sep &&
           !(path.size() == 3 && path[1] == ':')) {  // keep a root such as / or C:\ whole
        path.pop_back();
    }
    return path;
}

QString DisplayPath(const QByteArray& path) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(path);
    if (utf8.hasError()) {
        return QString::fromLatin1(path);
    }
    return text;
}

QString DisplayPath(const std::string& path) {
    return DisplayPath(QByteArray::fromRawData(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace tolvik
