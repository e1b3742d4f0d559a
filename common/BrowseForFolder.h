// Asking the user for one folder.
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace tolvik {

// Shows a folder dialog; tests put a scripted picker in its place.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's path as the system spells it (bytes), without a trailing separator
    // except for a root; the empty text when the user cancelled or chose nothing usable.
    virtual std::string BrowseForFolder(QWidget* owner, const QString& title) = 0;
};

// The toolkit's folder dialog: folders only, modal to `owner`, the title shown above it.
class DialogFolderPicker : public FolderPicker {
public:
    std::string BrowseForFolder(QWidget* owner, const QString& title) override;
};

// The text a user reads for a path held as bytes: UTF-8 where the bytes are valid UTF-8,
// otherwise Latin-1, as old archives name their files.
QString DisplayPath(const std::string& path);
QString DisplayPath(const QByteArray& path);

}  // namespace tolvik
