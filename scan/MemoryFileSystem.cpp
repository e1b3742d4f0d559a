#include <algorithm>
#include <map>

#include "FileSystem.h"

namespace tolvik {

struct MemoryFileSystem::Node {
    std::string name;  // as added, listed in this case
    bool folder = true;
    bool unreadable = false;
    // Children by lookup key: the name itself, or in the Windows style its ASCII lower case.
    std::map<std::string, std::unique_ptr<Node>> children;
};

MemoryFileSystem::MemoryFileSystem(PathStyle style) : style_(style), root_(new Node) {}

MemoryFileSystem::~MemoryFileSystem() = default;

std::vector<std::string> MemoryFileSystem::Components(const std::string& path) const {
    std::vector<std::string> components;
    const char separator = SeparatorOf(style_);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t cut = path.find(separator, start);
        if (cut == std::string::npos) {
            cut = path.size();
        }
        if (cut > start) {
            components.push_back(path.substr(start, cut - start));
        }
        start = cut + 1;
    }
    return components;
}

std::string MemoryFileSystem::LookupKey(std::string_view name) const {
    std::string key(name);
    if (style_ == PathStyle::Windows) {
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return key;
}

// The node at `path`; nullptr when there is none. The root itself is a folder only in the
// POSIX style ("/"); in the Windows style it merely holds the drives.
MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& path) const {
    if (path.empty()) {
        return nullptr;
    }
    const auto components = Components(path);
    if (components.empty() && style_ == PathStyle::Windows) {
        return nullptr;
    }
    Node* node = root_.get();
    for (const auto& name : components) {
        if (!node->folder) {
            return nullptr;
        }
        const auto found = node->children.find(LookupKey(name));
        if (found == node->children.end()) {
            return nullptr;
        }
        node = found->second.get();
    }
    return node;
}

MemoryFileSystem::Node* MemoryFileSystem::Make(const std::string& path, bool folder) {
    const auto components = Components(path);
    if (components.empty()) {
        return nullptr;
    }
    Node* node = root_.get();
    for (std::size_t i = 0; i < components.size(); ++i) {
        const bool last = i + 1 == components.size();
        auto& slot = node->children[LookupKey(components[i])];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = components[i];
            slot->folder = !last || folder;
        }
        if (last ? slot->folder != folder : !slot->folder) {
            return nullptr;
        }
        node = slot.get();
    }
    return node;
}

bool MemoryFileSystem::AddFolder(const std::string& path) {
    return Make(path, true) != nullptr;
}

bool MemoryFileSystem::AddFile(const std::string& path) {
    return Make(path, false) != nullptr;
}

bool MemoryFileSystem::SetUnreadable(const std::string& path, bool unreadable) {
    Node* node = Find(path);
    if (node == nullptr || !node->folder) {
        return false;
    }
    node->unreadable = unreadable;
    return true;
}

bool MemoryFileSystem::Remove(const std::string& path) {
    const auto components = Components(path);
    if (components.empty()) {
        return false;
    }
    Node* parent = root_.get();
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const auto found = parent->children.find(LookupKey(components[i]));
        if (found == parent->children.end() || !found->second->folder) {
            return false;
        }
        parent = found->second.get();
    }
    return parent->children.erase(LookupKey(components.back())) != 0;
}

bool MemoryFileSystem::FolderExists(const std::string& path) {
    const Node* node = Find(path);
    return node != nullptr && node->folder;
}

bool MemoryFileSystem::ListFolder(const std::string& path, FolderListing& listing) {
    listing.folders.clear();
    listing.files.clear();
    const Node* node = Find(path);
    if (node == nullptr || !node->folder || node->unreadable) {
        return false;
    }
    for (const auto& [key, child] : node->children) {
        (child->folder ? listing.folders : listing.files).push_back(child->name);
    }
    const auto byNaturalOrder = [](const std::string& a, const std::string& b) {
        return NaturalLess(a, b);
    };
    std::sort(listing.folders.begin(), listing.folders.end(), byNaturalOrder);
    std::sort(listing.files.begin(), listing.files.end(), byNaturalOrder);
    return true;
}

}  // namespace tolvik
