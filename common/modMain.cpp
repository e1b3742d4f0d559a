#include "modMain.h"

#include <sys/stat.h>
#include <cerrno>
#ifdef _WIN32
#include <direct.h>
#endif

#include "errors.h"
#include "registry.h"

namespace tolvik {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeOneFolder(const std::string& path) {
#ifdef _WIN32
    return ::_mkdir(path.c_str());
#else
    return ::mkdir(path.c_str(), 0700);  // mail is private: new folders are the owner's alone
#endif
}

}  // namespace

bool EnsureDirectoryPath(const std::string& path, std::string* reason) {
    const char sep = SeparatorOf(kNativeStyle);
    const std::string full = WithTrailingSeparator(path);
    if (IsFolder(full)) {
        return true;  // the usual case in a run: the folder of the message before
    }
    // Create each level from the root down, as far as it is missing.
    for (std::size_t at = full.find(sep, 1); at != std::string::npos; at = full.find(sep, at + 1)) {
        const std::string level = full.substr(0, at);
        if (level.empty() || (level.size() == 2 && level[1] == ':')) {
            continue;  // the root itself, or a drive such as C:
        }
        if (MakeOneFolder(level) != 0) {
            const int error = errno;  // before any other call can change it
            if (error != EEXIST && !IsFolder(level)) {
                if (reason) {
                    *reason = DescribeError(error);
                }
                return false;
            }
        }
    }
    if (!IsFolder(full)) {
        if (reason) {
            *reason = "a file of that name is in the way";
        }
        return false;
    }
    return true;
}

}  // namespace tolvik
