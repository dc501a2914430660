// Folder paths as the run builds them, in plain string functions that know
// both path styles, so that Windows paths ("C:\", "D:\src\") are checked on
// every system and not only where they occur.
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

/// `folder` without trailing separators, as the folder list gives a folder,
/// except that a root keeps its own: "D:\src\" is "D:\src", "C:\\" is "C:\"
/// and "//" is "/". A bare drive "C:" (the drive's current folder) is left
/// as it is.
std::string withoutTrailingSeparators(std::string folder, PathStyle style = kNativePathStyle);

/// The name after the last separator of `path` (all of it when it has none).
std::string_view baseNameOf(std::string_view path, PathStyle style = kNativePathStyle);

}  // namespace codekiln
