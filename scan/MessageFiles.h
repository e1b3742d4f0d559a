// Picking the saved mail messages (*.eml files) out of a folder tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

// True when the path names a message file: its last four characters, after lower-casing
// (ASCII) and removing leading and trailing spaces, are ".eml". So a.EML and "b.eml " are
// message files; d.eml.bak, e.emlx and f.txt are not.
bool IsMessagePath(std::string_view path);

// The message files of the whole tree below `folder` on disk, as full paths that begin with
// `folder` as given, in the scanner's order: the folder's own files first, then each level
// of subfolders in turn. When `skippedFolders` is given it receives the number of folders of
// the tree that could not be listed. A missing folder gives an empty list.
std::vector<std::string> MessageFilesOf(const std::string& folder, int* skippedFolders = nullptr);

}  // namespace tolvik
