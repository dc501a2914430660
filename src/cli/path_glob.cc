// A small wildcard matcher: the patterns are short and the paths are file
// paths, so plain backtracking is enough.
#include "cli/path_glob.h"

namespace codekiln {

namespace {

// Windows compares names ignoring letter case, as its file system does.
bool sameChar(char a, char b) {
#ifdef _WIN32
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
#else
    return a == b;
#endif
}

bool matchFrom(const std::string& p, std::size_t pi, const std::string& s, std::size_t si) {
    while (pi < p.size()) {
        if (p.compare(pi, 2, "**") == 0) {
            std::size_t rest = pi + 2;
            // "**/" may stand for no folder at all.
            if (rest < p.size() && p[rest] == '/' && matchFrom(p, rest + 1, s, si)) return true;
            for (std::size_t k = si; k <= s.size(); ++k)
                if (matchFrom(p, rest, s, k)) return true;
            return false;
        }
        if (p[pi] == '*') {
            for (std::size_t k = si; k <= s.size(); ++k) {
                if (matchFrom(p, pi + 1, s, k)) return true;
                if (k < s.size() && s[k] == '/') break;
            }
            return false;
        }
        if (si >= s.size()) return false;
        if (p[pi] == '?' ? s[si] == '/' : !sameChar(p[pi], s[si])) return false;
        ++pi;
        ++si;
    }
    return si == s.size();
}

}  // namespace

bool globMatches(const std::string& pattern, const std::string& path) {
    std::string p = pattern;
#ifdef _WIN32
    // A pattern typed with Windows separators ("sub\\gen").
    for (char& c : p)
        if (c == '\\') c = '/';
#endif
    while (p.compare(0, 2, "./") == 0) p.erase(0, 2);
    if (p.find('/') == std::string::npos) {
        const std::size_t cut = path.rfind('/');
        return matchFrom(p, 0, cut == std::string::npos ? path : path.substr(cut + 1), 0);
    }
    return matchFrom(p, 0, path, 0);
}

bool anyGlobMatches(const std::vector<std::string>& patterns, const std::string& path) {
    for (const std::string& pattern : patterns)
        if (globMatches(pattern, path)) return true;
    return false;
}

}  // namespace codekiln
