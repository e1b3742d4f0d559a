// The folder scanner: lists every folder and every file of a folder tree.
//
// Given a start folder, a walk goes through the tree breadth-first, without recursion, and
// collects what it finds into keyed lists: the paths of all folders and, for every file, its
// full path and, unless only full paths are wanted, its bare name and the position of its
// folder. No filter of any kind is applied: hidden files and files of every type are listed.
//
// Use: PathLogInit; optionally fullFileNamesOnly(bool); LogPath once; read Count and take the
// lists wanted; Terminate. PathLogInit again before the next walk.
//
// Keys: the start folder is "K0" in pathNames and the p-th folder (p >= 2) is "K<p>", so no
// folder has the key "K1"; the n-th file found is "K<n>" in every file list and sits at
// position n. Count is the number the next file found will get: one more than the number of
// files after a walk.
//
// Entries are built by joining text only: each folder is its parent's entry, the subfolder's
// name and a separator; each file is its folder's entry and the file's name. The start
// folder's text as given, letter case included, therefore begins every entry.
//
// Lists are shared: a list taken from the scanner keeps its entries after PathLogInit or
// Terminate drop the scanner's own reference. A list property read while the scanner holds no
// such list creates a new empty list, holds it and returns it.
//
// A folder that cannot be listed during the walk (not readable, removed meanwhile, a path too
// long) stays in pathNames, adds nothing, and is counted and recorded as skipped; the walk
// goes on and never throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "KeyedList.h"
#include "registry.h"

namespace tolvik {

class pathLogger {
public:
    using TextList = KeyedList<std::string>;
    using PositionList = KeyedList<std::int32_t>;

    // `style` is the form of the paths walked and built (its separator ends every folder
    // entry). `makeFileSystem` creates the file-system service on each PathLogInit; when
    // empty, the scanner walks the disk through DiskFileSystem.
    explicit pathLogger(PathStyle style = kNativeStyle, FileSystemFactory makeFileSystem = {});

    // Prepares a walk: creates a new file-system service, sets fullFileNamesOnly to true and
    // drops the scanner's references to its four lists. Count keeps its value; the skipped
    // folders of an earlier walk are forgotten.
    void PathLogInit();

    // Walks the tree below `strPARENT` (with or without a trailing separator) and fills the
    // lists. When `strPARENT` is not an existing folder (missing, a file, empty text), or
    // pathNames is already filled by an earlier walk without PathLogInit in between, nothing
    // changes.
    void LogPath(const std::string& strPARENT);

    // The number the next file found will get.
    std::int32_t Count() const { return count_; }

    // Releases the file-system service and the scanner's references to its lists. Count,
    // fullFileNamesOnly and the skipped folders keep their values.
    void Terminate();

    // true: a walk fills fullFileNames only. false: it fills fileNames, fullFileNames and
    // pathPointers.
    void fullFileNamesOnly(bool fullPath) { fullFileNamesOnly_ = fullPath; }
    bool fullFileNamesOnly() const { return fullFileNamesOnly_; }

    // The bare name of every file.
    std::shared_ptr<TextList> fileNames();
    // Every folder of the tree, the start folder first, each ending in one separator.
    std::shared_ptr<TextList> pathNames();
    // For every file, the 1-based position in pathNames of the folder holding it.
    std::shared_ptr<PositionList> pathPointers();
    // The full path of every file.
    std::shared_ptr<TextList> fullFileNames();

    // How many folders the last walk could not list, and their paths as in pathNames.
    int SkippedFolders() const { return static_cast<int>(skippedFolders_.size()); }
    const std::vector<std::string>& SkippedFolderPaths() const { return skippedFolders_; }

private:
    // The text with one trailing separator of the scanner's path style.
    std::string WithTrailingBackslash(const std::string& text) const;

    template <typename List>
    static std::shared_ptr<List>& Held(std::shared_ptr<List>& list) {
        if (!list) {
            list = std::make_shared<List>();
        }
        return list;
    }

    PathStyle style_;
    FileSystemFactory makeFileSystem_;
    std::shared_ptr<FileSystem> fileSystem_;
    std::int32_t count_ = 0;
    bool fullFileNamesOnly_ = false;
    std::shared_ptr<TextList> pathNames_;
    std::shared_ptr<TextList> fileNames_;
    std::shared_ptr<TextList> fullFileNames_;
    std::shared_ptr<PositionList> pathPointers_;
    std::vector<std::string> skippedFolders_;
};

}  // namespace tolvik
