#include "pathLogger.h"

#include <utility>

namespace tolvik {

namespace {

std::string KeyOf(std::int32_t number) {
    return "K" + std::to_string(number);
}

}  // namespace

pathLogger::pathLogger(PathStyle style, FileSystemFactory makeFileSystem)
    : style_(style), makeFileSystem_(std::move(makeFileSystem)) {
    if (!makeFileSystem_) {
        makeFileSystem_ = [] { return std::make_shared<DiskFileSystem>(); };
    }
}

void pathLogger::PathLogInit() {
    fileSystem_.reset();
    fileSystem_ = makeFileSystem_();
    fullFileNamesOnly_ = true;
    fileNames_.reset();
    pathNames_.reset();
    pathPointers_.reset();
    fullFileNames_.reset();
    skippedFolders_.clear();
}

std::string pathLogger::WithTrailingBackslash(const std::string& text) const {
    return WithTrailingSeparator(text, style_);
}

void pathLogger::LogPath(const std::string& strPARENT) {
    if (!fileSystem_) {
        // Used without PathLogInit: walk all the same rather than fail.
        fileSystem_ = makeFileSystem_();
    }
    if (!fileSystem_ || !fileSystem_->FolderExists(strPARENT)) {
        return;
    }
    TextList& folders = *Held(pathNames_);
    if (!folders.Empty()) {
        return;
    }
    TextList& fullNames = *Held(fullFileNames_);
    TextList* names = fullFileNamesOnly_ ? nullptr : Held(fileNames_).get();
    PositionList* pointers = fullFileNamesOnly_ ? nullptr : Held(pathPointers_).get();

    const char separator = SeparatorOf(style_);
    count_ = 1;
    std::int32_t folderTotal = 1;
    std::int32_t position = 1;
    folders.Add("K0", WithTrailingBackslash(strPARENT));

    FolderListing listing;
    do {
        // A copy: adding to `folders` may move its entries.
        const std::string folder = folders.Item(position);
        if (!fileSystem_->ListFolder(folder, listing)) {
            skippedFolders_.push_back(folder);
        } else {
            for (const auto& name : listing.folders) {
                ++folderTotal;
                std::string path;
                path.reserve(folder.size() + name.size() + 1);
                path.append(folder).append(name).push_back(separator);
                folders.Add(KeyOf(folderTotal), std::move(path));
            }
            for (const auto& name : listing.files) {
                const std::string key = KeyOf(count_);
                if (names != nullptr) {
                    names->Add(key, name);
                }
                fullNames.Add(key, folder + name);
                if (pointers != nullptr) {
                    pointers->Add(key, position);
                }
                ++count_;
            }
        }
        ++position;
    } while (position <= folderTotal);
}

void pathLogger::Terminate() {
    fileSystem_.reset();
    fileNames_.reset();
    pathNames_.reset();
    pathPointers_.reset();
    fullFileNames_.reset();
}

std::shared_ptr<pathLogger::TextList> pathLogger::fileNames() {
    return Held(fileNames_);
}

std::shared_ptr<pathLogger::TextList> pathLogger::pathNames() {
    return Held(pathNames_);
}

std::shared_ptr<pathLogger::PositionList> pathLogger::pathPointers() {
    return Held(pathPointers_);
}

std::shared_ptr<pathLogger::TextList> pathLogger::fullFileNames() {
    return Held(fullFileNames_);
}

}  // namespace tolvik
