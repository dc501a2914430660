// The indentation classifier: decides for one source line how the running
// indentation moves and whether the line ends a program unit. It has no
// parser and no stack of open blocks; it looks for fixed tokens in the
// lower-cased line and moves one counter in steps of four columns.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "state/session_state.h"

namespace codekiln {

/// Tokens that close a block; the first one found in the framed line decides.
inline constexpr std::array<std::string_view, 11> closingTokens = {
    " end ",        " enddo ",      " endif ",    " elseif1 ", " endsubroutine ", " endfunction ",
    " case1 ",      " endprogram ", " endmodule ", " else1 ",  "end program",
};

/// Tokens that open a block, tried in order; entries 8 to 11 (1-based) open a
/// program unit and set the indentation to 4 instead of adding 4.
inline constexpr std::array<std::string_view, 13> openingTokens = {
    " then ",    ")then ",   " else1 ",      " elseif1 ",  " do ",       " select ", " case1 ",
    " program ", " module ", " subroutine ", " function ", " if1 ",      " if1 ",
};

/// Words that mark the end of a program unit, searched in the blank-free line.
inline constexpr std::array<std::string_view, 4> unitEndWords = {
    "endsubroutine", "endfunction", "endprogram", "endmodule"};

/// `iszm`: whether the one character `zf` is a letter a-z (either case).
/// A blank, a digit, a tab, punctuation, anything outside ASCII and the
/// empty text are not letters.
bool iszm(std::string_view zf);

/// `tuihang`: classifies the line `dm` (trimmed and lower-cased by the caller)
/// and moves `state.indentColumns`; raises `state.unitEnded` when the line
/// closes a program unit. Returns true when the line opens a block. For every
/// line that is not a comment line, `dm` is replaced by the framed line: one
/// blank, the line, one blank.
bool tuihang(std::string& dm, SessionState& state);

/// Which of the words else, elseif and case stand between blanks in a line
/// that `tuihang` framed (so " else " is found in the framed line exactly when
/// `elseWord` is set). Not filled in for comment lines.
struct LineWords {
    bool framed = false;  ///< the line was framed; the flags below are valid
    bool elseWord = false;
    bool elseifWord = false;
    bool caseWord = false;
    bool doWord = false;  ///< "do" stands as a word: the line may be a DO statement
};

/// `tuihang` without framing the line, reporting the words the output writer
/// asks about: the same classification and the same effects on `state`;
/// `words.framed` tells whether `tuihang` would have framed it (the line is
/// not a comment line).
bool classifyLine(std::string_view dm, SessionState& state, LineWords& words);

}  // namespace codekiln
