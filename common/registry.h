// Cutting paths at their last separator.
//
// Paths are byte strings: on Linux a file name is any sequence of bytes, so nothing here
// decodes or re-encodes text. Each helper cuts at one separator character: '/' for the
// POSIX form and '\' for the Windows form; the other character is an ordinary one.
#pragma once

#include <string>
#include <string_view>

namespace tolvik {

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativeStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativeStyle = PathStyle::Posix;
#endif

constexpr char SeparatorOf(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

// The text after the last separator; the whole path when it holds none; the empty text when
// the path ends with a separator.
std::string FileNameOfPath(std::string_view path, PathStyle style = kNativeStyle);

// The text up to and including the last separator; the empty text when the path holds none.
// FolderOfPath(p) + FileNameOfPath(p) == p for every p.
std::string FolderOfPath(std::string_view path, PathStyle style = kNativeStyle);

// The text with exactly one separator added when it does not already end with one.
std::string WithTrailingSeparator(std::string_view path, PathStyle style = kNativeStyle);

}  // namespace tolvik
