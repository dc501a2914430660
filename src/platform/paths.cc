// Roots and trailing separators for both path styles.
#include "platform/paths.h"

namespace codekiln {

namespace {

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The length of the root at the start of a Windows path ("C:\" 3, "\" 1,
// "\\server\share\" all of it), 0 when the path is relative, and for a
// bare drive "C:" 2: its root needs no separator added or kept.
std::size_t windowsRootLength(std::string_view path) {
    const PathStyle w = PathStyle::Windows;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':')
        return path.size() >= 3 && isPathSeparator(path[2], w) ? 3 : 2;
    if (path.size() >= 2 && isPathSeparator(path[0], w) && isPathSeparator(path[1], w)) {
        // A share: two separators, the server, one separator, the share name.
        std::size_t i = 2;
        while (i < path.size() && !isPathSeparator(path[i], w)) ++i;
        if (i == 2 || i == path.size()) return 0;  // not a share; treated as a plain path
        ++i;
        while (i < path.size() && !isPathSeparator(path[i], w)) ++i;
        return i < path.size() ? i + 1 : i;
    }
    return !path.empty() && isPathSeparator(path[0], w) ? 1 : 0;
}

}  // namespace

bool isPathSeparator(char c, PathStyle style) { return c == '/' || (style == PathStyle::Windows && c == '\\'); }

std::string withoutTrailingSeparators(std::string folder, PathStyle style) {
    const std::size_t keep = style == PathStyle::Windows ? windowsRootLength(folder)
                             : (!folder.empty() && folder[0] == '/') ? 1
                                                                      : 0;
    while (folder.size() > keep && folder.size() > 1 && isPathSeparator(folder.back(), style)) folder.pop_back();
    return folder;
}

std::string_view baseNameOf(std::string_view path, PathStyle style) {
    std::size_t cut = std::string_view::npos;
    for (std::size_t i = path.size(); i-- > 0;) {
        if (isPathSeparator(path[i], style)) {
            cut = i;
            break;
        }
    }
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace codekiln
