// Paths as the run builds and compares them, in plain string functions that
// know both path styles, so that Windows paths ("C:\", "D:\src\") are checked
// on every system and not only where they occur. Every layer takes its path
// rules from here.
#pragma once

#include <string>
#include <string_view>

namespace codekiln {

/// How a path is spelt: '/' only, or Windows' '\' and '/' with drive letters.
enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

/// Whether `c` separates folders in `style`.
bool isPathSeparator(char c, PathStyle style = kNativePathStyle);

/// Whether `path` names its place without any current folder: from the top
/// of the file system ("/src"), and in Windows style also from the top of a
/// drive ("C:\src", "C:/src"), of a share or of the current drive ("\src").
/// "C:src" is relative to drive C's current folder, which differs from
/// process to process.
bool isAbsolutePath(std::string_view path, PathStyle style = kNativePathStyle);

/// `folder`, the style's own separator ('\' in Windows style) and `name`.
/// A root keeps its separator, so the name follows a second one ("C:\\a"),
/// which both systems read as the name in the root.
std::string joinPath(std::string_view folder, std::string_view name, PathStyle style = kNativePathStyle);

/// The folder that holds `path`: all before its last name, without the
/// separators in between, except that a root keeps its own ("/a" gives "/",
/// "C:\a" gives "C:\", "C:a" gives "C:"); "." for a bare name.
std::string parentOf(std::string_view path, PathStyle style = kNativePathStyle);

/// Whether `inner` is the folder `outer` or lies below it. Both are clean
/// absolute paths, as a canonical path gives them. In Windows style either
/// separator counts and ASCII letters compare without case, as Windows tells
/// no letter case apart in names ("C:\SRC" is "c:/src"); other characters,
/// and every character in POSIX style, compare byte for byte.
bool isSameOrBelow(std::string_view inner, std::string_view outer, PathStyle style = kNativePathStyle);

/// Whether `a` and `b` are one path by the rule of isSameOrBelow.
bool isSamePath(std::string_view a, std::string_view b, PathStyle style = kNativePathStyle);

/// `folder` without trailing separators, as the folder list gives a folder,
/// except that a root keeps its own: "D:\src\" is "D:\src", "C:\\" is "C:\"
/// and "//" is "/". A bare drive "C:" (the drive's current folder) is left
/// as it is.
std::string withoutTrailingSeparators(std::string folder, PathStyle style = kNativePathStyle);

/// The name after the last separator of `path` (all of it when it has none).
std::string_view baseNameOf(std::string_view path, PathStyle style = kNativePathStyle);

}  // namespace codekiln
