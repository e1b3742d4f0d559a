#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "FileSystem.h"

namespace tolvik {

namespace {

enum class EntryKind { Folder, File, Other };

EntryKind KindOfMode(mode_t mode) {
    if (S_ISDIR(mode)) {
        return EntryKind::Folder;
    }
    if (S_ISREG(mode)) {
        return EntryKind::File;
    }
    return EntryKind::Other;
}

// What an entry of the open folder `folder` is, looked at relative to the folder itself so
// that the length of the folder's path plays no part.
EntryKind KindOfEntry(int folder, const dirent& entry) {
    unsigned char type = entry.d_type;
    if (type == DT_UNKNOWN) {
        struct stat info {};
        if (fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return EntryKind::Other;
        }
        if (!S_ISLNK(info.st_mode)) {
            return KindOfMode(info.st_mode);
        }
        type = DT_LNK;
    }
    switch (type) {
        case DT_DIR:
            return EntryKind::Folder;
        case DT_REG:
            return EntryKind::File;
        case DT_LNK: {
            // A link counts as a file when it leads to one. A link to a folder is not followed,
            // and a dangling link leads nowhere.
            struct stat target {};
            if (fstatat(folder, entry.d_name, &target, 0) != 0) {
                return EntryKind::Other;
            }
            return KindOfMode(target.st_mode) == EntryKind::File ? EntryKind::File
                                                                 : EntryKind::Other;
        }
        default:
            return EntryKind::Other;
    }
}

bool ByNaturalOrder(const std::string& a, const std::string& b) {
    return NaturalLess(a, b);
}

}  // namespace

bool DiskFileSystem::FolderExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DiskFileSystem::ListFolder(const std::string& path, FolderListing& listing) {
    listing.folders.clear();
    listing.files.clear();
    if (path.empty()) {
        return false;
    }
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        return false;
    }
    const int descriptor = dirfd(folder);
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(folder);
        if (entry == nullptr) {
            complete = errno == 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        switch (KindOfEntry(descriptor, *entry)) {
            case EntryKind::Folder:
                listing.folders.emplace_back(entry->d_name);
                break;
            case EntryKind::File:
                listing.files.emplace_back(entry->d_name);
                break;
            case EntryKind::Other:
                break;
        }
    }
    closedir(folder);
    if (!complete) {
        listing.folders.clear();
        listing.files.clear();
        return false;
    }
    std::sort(listing.folders.begin(), listing.folders.end(), ByNaturalOrder);
    std::sort(listing.files.begin(), listing.files.end(), ByNaturalOrder);
    return true;
}

}  // namespace tolvik
