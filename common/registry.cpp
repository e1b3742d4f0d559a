#include "registry.h"

namespace tolvik {

std::string FileNameOfPath(std::string_view path, PathStyle style) {
    const auto cut = path.rfind(SeparatorOf(style));
    if (cut == std::string_view::npos) {
        return std::string(path);
    }
    return std::string(path.substr(cut + 1));
}

std::string FolderOfPath(std::string_view path, PathStyle style) {
    const auto cut = path.rfind(SeparatorOf(style));
    if (cut == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, cut + 1));
}

std::string WithTrailingSeparator(std::string_view path, PathStyle style) {
    std::string result(path);
    if (result.empty() || result.back() != SeparatorOf(style)) {
        result.push_back(SeparatorOf(style));
    }
    return result;
}

}  // namespace tolvik
