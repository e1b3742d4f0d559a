// The file-system service that the folder scanner walks a tree with.
//
// The scanner needs two things of the file system: whether a path names an existing folder,
// and the names of one folder's immediate subfolders and files. Keeping them behind this
// small interface lets the scanner walk the disk in the program and a tree built in memory
// in the tests, in either path style.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry.h"

namespace tolvik {

// True when `a` comes before `b` in the order a file manager shows names in: letters compared
// without regard to ASCII case, runs of digits compared by their numeric value (so "2.eml"
// comes before "10.eml"); names that are still equal then are ordered byte by byte, so the
// order is total and the same tree always lists in the same order. Bytes outside ASCII are
// compared by their value.
bool NaturalLess(std::string_view a, std::string_view b);

// The immediate contents of one folder, by name only (no path part, no "." or ".."), each in
// NaturalLess order.
struct FolderListing {
    std::vector<std::string> folders;
    std::vector<std::string> files;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when `path` names an existing folder; false, never an error, for a missing path, a
    // path that names a file, and empty text. A trailing separator is allowed.
    virtual bool FolderExists(const std::string& path) = 0;

    // Fills `listing` with the immediate subfolders and files of the folder `path`, hidden
    // items included. Returns false, leaving `listing` empty, when the folder cannot be listed
    // (missing, not readable, path too long).
    virtual bool ListFolder(const std::string& path, FolderListing& listing) = 0;
};

using FileSystemFactory = std::function<std::shared_ptr<FileSystem>()>;

// The real file system, through POSIX calls. Paths and names are byte strings with '/' as the
// separator; a name that is not valid UTF-8 is kept byte for byte. What a folder lists:
// - subfolders: real folders only. A link to a folder is neither followed nor listed, so a
//   link that leads back into the tree cannot make a walk go round for ever.
// - files: regular files, and links that lead to a regular file. A dangling link, and
//   devices, pipes and sockets (which a mail tool cannot read as a message) are left out.
class DiskFileSystem : public FileSystem {
public:
    bool FolderExists(const std::string& path) override;
    bool ListFolder(const std::string& path, FolderListing& listing) override;
};

// A folder tree held in memory, for tests. Paths are in the given style; in the Windows style
// names are looked up without regard to ASCII case, as Windows does (so d:\mail finds the
// folder added as D:\Mail), and are listed in the case they were added in. Empty components
// (a doubled or trailing separator) are ignored. A folder can be marked unreadable: it exists
// but cannot be listed.
class MemoryFileSystem : public FileSystem {
public:
    explicit MemoryFileSystem(PathStyle style = PathStyle::Windows);
    ~MemoryFileSystem() override;

    // Adds a folder, and any missing folder above it. False when a file stands in the way.
    bool AddFolder(const std::string& path);
    // Adds a file, and any missing folder above it. False when the name is taken by a folder
    // or a file stands in the way.
    bool AddFile(const std::string& path);
    // Marks an existing folder as one that cannot be listed. False when there is no such
    // folder.
    bool SetUnreadable(const std::string& path, bool unreadable = true);
    // Removes a file or a folder with all it holds. False when there is nothing at `path`.
    bool Remove(const std::string& path);

    bool FolderExists(const std::string& path) override;
    bool ListFolder(const std::string& path, FolderListing& listing) override;

    PathStyle Style() const { return style_; }

private:
    struct Node;
    std::vector<std::string> Components(const std::string& path) const;
    std::string LookupKey(std::string_view name) const;
    Node* Find(const std::string& path) const;
    Node* Make(const std::string& path, bool folder);

    PathStyle style_;
    std::unique_ptr<Node> root_;
};

}  // namespace tolvik
