#include "MessageFiles.h"

#include "pathLogger.h"

namespace tolvik {

bool IsMessagePath(std::string_view path) {
    const auto first = path.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    const auto last = path.find_last_not_of(' ');
    const std::string_view trimmed = path.substr(first, last - first + 1);
    constexpr std::string_view kExtension = ".eml";
    if (trimmed.size() < kExtension.size()) {
        return false;
    }
    const std::string_view tail = trimmed.substr(trimmed.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kExtension[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> MessageFilesOf(const std::string& folder, int* skippedFolders) {
    pathLogger scanner;
    scanner.PathLogInit();
    scanner.fullFileNamesOnly(true);
    scanner.LogPath(folder);
    const auto paths = scanner.fullFileNames();
    scanner.Terminate();
    if (skippedFolders != nullptr) {
        *skippedFolders = scanner.SkippedFolders();
    }
    std::vector<std::string> messages;
    for (const auto& path : *paths) {
        if (IsMessagePath(path)) {
            messages.push_back(path);
        }
    }
    return messages;
}

}  // namespace tolvik
