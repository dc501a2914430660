// Path rules for both path styles: roots, joining, parents, containment.
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

// The length of the root at the start of `path` in `style`.
std::size_t rootLength(std::string_view path, PathStyle style) {
    if (style == PathStyle::Windows) return windowsRootLength(path);
    return !path.empty() && path[0] == '/' ? 1 : 0;
}

// Whether the characters `a` and `b` stand for the same in a name.
bool sameNameChar(char a, char b, PathStyle style) {
    if (style == PathStyle::Posix) return a == b;
    if (isPathSeparator(a, style) && isPathSeparator(b, style)) return true;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    return a == b;
}

}  // namespace

bool isPathSeparator(char c, PathStyle style) { return c == '/' || (style == PathStyle::Windows && c == '\\'); }

bool isAbsolutePath(std::string_view path, PathStyle style) {
    if (!path.empty() && isPathSeparator(path[0], style)) return true;
    return style == PathStyle::Windows && path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' &&
           isPathSeparator(path[2], style);
}

std::string joinPath(std::string_view folder, std::string_view name, PathStyle style) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    path.push_back(style == PathStyle::Windows ? '\\' : '/');
    path.append(name);
    return path;
}

std::string parentOf(std::string_view path, PathStyle style) {
    const std::size_t root = rootLength(path, style);
    std::size_t cut = path.size();
    while (cut > root && !isPathSeparator(path[cut - 1], style)) --cut;
    if (cut <= root) return root == 0 ? std::string(".") : std::string(path.substr(0, root));
    std::size_t end = cut - 1;  // the separator before the last name
    while (end > root && isPathSeparator(path[end - 1], style)) --end;
    return std::string(path.substr(0, end > root ? end : root));
}

bool isSameOrBelow(std::string_view inner, std::string_view outer, PathStyle style) {
    if (outer.empty() || inner.size() < outer.size()) return false;
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (!sameNameChar(inner[i], outer[i], style)) return false;
    }
    // The same folder, or a name below it: a separator follows, or `outer`
    // (a root) ends in one.
    return inner.size() == outer.size() || isPathSeparator(outer.back(), style) ||
           isPathSeparator(inner[outer.size()], style);
}

bool isSamePath(std::string_view a, std::string_view b, PathStyle style) {
    return a.size() == b.size() && isSameOrBelow(a, b, style);
}

std::string withoutTrailingSeparators(std::string folder, PathStyle style) {
    const std::size_t keep = rootLength(folder, style);
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
