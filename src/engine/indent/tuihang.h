// The indentation classifier: decides for one source line how the running
// indentation moves and whether the line ends a program unit. It has no
// parser and no stack of open blocks; it looks for fixed tokens in the
// lower-cased line and moves one counter in steps of four columns.
#pragma once

#include <array>
#include <string_view>

namespace codekiln {

/// How an opening token moves the indentation.
enum class OpeningStep {
    Add4,  ///< a block opener: four columns deeper
    Set4,  ///< a unit opener: four columns, whatever it was
};

/// One entry of `openingTokens`.
struct OpeningToken {
    std::string_view token;
    OpeningStep step;
};

/// Tokens that close a block, searched in the framed line (one blank, the
/// line, one blank); the first one found decides, and all have one effect.
inline constexpr std::array<std::string_view, 11> closingTokens = {
    " end ",        " enddo ",      " endif ",    " elseif1 ", " endsubroutine ", " endfunction ",
    " case1 ",      " endprogram ", " endmodule ", " else1 ",  "end program",
};

/// Tokens that open a block, tried in order when no closing token stands in
/// the line; the first one found decides. Program, module, subroutine and
/// function open a program unit.
inline constexpr std::array<OpeningToken, 13> openingTokens = {{
    {" then ", OpeningStep::Add4},
    {")then ", OpeningStep::Add4},
    {" else1 ", OpeningStep::Add4},
    {" elseif1 ", OpeningStep::Add4},
    {" do ", OpeningStep::Add4},
    {" select ", OpeningStep::Add4},
    {" case1 ", OpeningStep::Add4},
    {" program ", OpeningStep::Set4},
    {" module ", OpeningStep::Set4},
    {" subroutine ", OpeningStep::Set4},
    {" function ", OpeningStep::Set4},
    {" if1 ", OpeningStep::Add4},
    {" if1 ", OpeningStep::Add4},
}};

/// Words that mark the end of a program unit, searched in the blank-free line.
inline constexpr std::array<std::string_view, 4> unitEndWords = {
    "endsubroutine", "endfunction", "endprogram", "endmodule"};

/// The output writer's tokens, searched in the framed line: a line holding
/// one of them is written one step back when else and case lines move back.
inline constexpr std::array<std::string_view, 3> moveBackTokens = {" else ", " elseif ", " case "};

/// What a line is to the classifier.
enum class LineKind {
    Comment,      ///< nothing changes, not even the floor at zero
    BlockCloser,  ///< four columns less
    UnitCloser,   ///< back to zero; the program unit ends here
    BlockOpener,  ///< four columns more
    UnitOpener,   ///< four columns, whatever it was
    Other,        ///< nothing changes
};

/// The classifier's answer for one line.
struct LineClass {
    LineKind kind = LineKind::Other;
    /// `indentColumns` for the lines that follow this one.
    int indentAfter = 0;
    /// Whether one of `moveBackTokens` stands in the framed line. Not
    /// answered for a comment line, which is not framed.
    bool movesBack = false;
    /// Whether the word do stands in the framed line: only then can the line
    /// be a DO statement. Not answered for a comment line.
    bool doWord = false;

    /// The line opens a block or a program unit (`tuihang`'s result flag).
    bool opens() const { return kind == LineKind::BlockOpener || kind == LineKind::UnitOpener; }
    /// The line closes a program unit (it raises `unitEnded`).
    bool endsUnit() const { return kind == LineKind::UnitCloser; }
};

/// `iszm`: whether the one character `zf` is a letter a-z (either case).
/// A blank, a digit, a tab, punctuation, anything outside ASCII and the
/// empty text are not letters.
bool iszm(std::string_view zf);

/// `tuihang`: classifies the line `dm` (trimmed and lower-cased by the
/// caller) with `indentColumns` in force before it, and says how the
/// indentation moves. The tokens are searched in the framed line (one blank,
/// `dm`, one blank) without building it.
LineClass tuihang(std::string_view dm, int indentColumns);

/// What `tuihang` reads in `dm` alone: its whole answer but `indentAfter`,
/// which is left at zero. It needs no running indentation, so a line can be
/// read before the lines ahead of it are placed.
LineClass classifyLine(std::string_view dm);

/// `line` as `classifyLine` read it, with `indentAfter` for `indentColumns`
/// in force before it: `tuihang(dm, c)` is `placeLine(classifyLine(dm), c)`.
LineClass placeLine(LineClass line, int indentColumns);

}  // namespace codekiln
