#include "MailboxMapping.h"

#include <vector>

namespace tolvik {

std::string WithoutRoot(std::string_view folder, PathStyle style) {
    const char sep = SeparatorOf(style);
    if (style == PathStyle::Windows) {
        if (folder.size() >= 2 && folder[0] == sep && folder[1] == sep) {
            return std::string(folder.substr(2));  // network path: keep the server's name
        }
        if (folder.size() >= 2 && folder[1] == ':') {
            folder.remove_prefix(2);  // drive letter and colon
        }
    }
    while (!folder.empty() && folder.front() == sep) {
        folder.remove_prefix(1);
    }
    return std::string(folder);
}

std::string MailboxNameOf(std::string_view mirroredFolder, PathStyle style) {
    if (!mirroredFolder.empty() && mirroredFolder.back() == SeparatorOf(style)) {
        mirroredFolder.remove_suffix(1);
    }
    std::string name = FileNameOfPath(mirroredFolder, style);
    std::erase(name, ':');
    return name.empty() ? std::string("Mailbox") : name;
}

std::string WithinFolder(std::string_view relative, PathStyle style) {
    const char sep = SeparatorOf(style);
    std::vector<std::string_view> parts;
    while (!relative.empty()) {
        const auto cut = relative.find(sep);
        const std::string_view part = relative.substr(0, cut);
        relative = cut == std::string_view::npos ? std::string_view() : relative.substr(cut + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string result;
    for (const auto part : parts) {
        result += part;
        result += sep;
    }
    return result;
}

MailboxTarget MailboxFor(std::string_view sourcePath, std::string_view outputFolder,
                         PathStyle style) {
    MailboxTarget target;
    target.relativeFolder =
        WithinFolder(WithoutRoot(FolderOfPath(sourcePath, style), style), style);
    target.mirroredFolder = std::string(outputFolder) + target.relativeFolder;
    target.mailboxName = MailboxNameOf(target.mirroredFolder, style) + ".mbox";
    target.mailboxPath = target.mirroredFolder + target.mailboxName;
    return target;
}

}  // namespace tolvik
