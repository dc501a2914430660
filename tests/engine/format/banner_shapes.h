// The banner lines a formatted file carries, spelled out piece by piece from
// their description (asterisks, blanks, the Chinese words), independently of
// the engine's own constants, so that a wrong constant shows up in the tests.
#pragma once

#include <algorithm>
#include <string>

namespace codekiln::testing {

inline std::string stars(int n) { return std::string(n, '*'); }
inline std::string blanks(int n) { return std::string(n, ' '); }

/// Header lines 1, 2, 5 and 6.
inline std::string headerRule() { return "! " + stars(97) + "!"; }
/// Header line 3.
inline std::string headerTitle() {
    return "! " + stars(22) + blanks(14) + "本模块代码行数" + blanks(14) + stars(33) + "!";
}
/// Header line 4 for the count as written.
inline std::string headerCountLine(const std::string& digits) {
    return "! " + stars(22) + blanks(16) + digits + "(行)" + blanks(16) + stars(33) + "!";
}
inline std::string separatorRule() { return "! " + stars(90) + " !"; }
inline std::string titlePrefix() { return "! " + stars(15) + blanks(20) + "程序: "; }
inline std::string argumentPrefix() { return "! " + stars(15) + blanks(20) + "参数: "; }
inline std::string lineEnd() { return "!" + stars(16) + " !"; }

/// Characters (not bytes) of a UTF-8 text.
inline int chars(const std::string& s) {
    return static_cast<int>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

/// A title or argument line: the text, blanks up to 73 characters (at least
/// one), the line end.
inline std::string bannerLine(const std::string& text) {
    return text + blanks(std::max(1, 73 - chars(text))) + lineEnd();
}

}  // namespace codekiln::testing
