// The classifier searches the framed line (one blank, the line, one blank)
// for its tokens. Every token but two has the shape " word ", which stands in
// the framed line exactly when `word` is one of the line's blank-separated
// words; ")then " stands there when a word ends in ")then", and "end program"
// is searched as it is. So one walk over the words answers every search.
#include "indent/tuihang.h"

#include <cstdint>

#include "state/text.h"

namespace codekiln {
namespace {

constexpr int kStep = 4;
constexpr int kIndentMax = INT16_MAX;
constexpr int kIndentMin = INT16_MIN;

/// What the token searches found in one line.
struct TokenHits {
    bool closer = false;     // any entry of closingTokens
    bool addOpener = false;  // " then ", ")then ", " do ", " select "
    bool unitOpener = false; // " program ", " module ", " subroutine ", " function "
    bool if1 = false;        // " if1 "
    LineWords words;
};

/// Whether the word ends in ")then".
bool endsInParenThen(std::string_view w) {
    const std::size_t n = w.size();
    return n >= 5 && w[n - 1] == 'n' && w[n - 2] == 'e' && w[n - 3] == 'h' && w[n - 4] == 't' && w[n - 5] == ')';
}

/// Whether the word ends in "end".
bool endsInEnd(std::string_view w) {
    const std::size_t n = w.size();
    return n >= 3 && w[n - 1] == 'd' && w[n - 2] == 'n' && w[n - 3] == 'e';
}

bool startsWithProgram(std::string_view w) { return w.substr(0, 7) == "program"; }

void classifyWord(std::string_view w, TokenHits& hits) {
    switch (w.size()) {
        case 2:
            if (w == "do") {
                hits.addOpener = true;
                hits.words.doWord = true;
            }
            break;
        case 3:
            if (w == "end") hits.closer = true;
            else if (w == "if1") hits.if1 = true;
            break;
        case 4:
            if (w == "then") hits.addOpener = true;
            else if (w == "else") hits.words.elseWord = true;
            else if (w == "case") hits.words.caseWord = true;
            break;
        case 5:
            if (w == "enddo" || w == "endif" || w == "case1" || w == "else1") hits.closer = true;
            break;
        case 6:
            if (w == "select") hits.addOpener = true;
            else if (w == "module") hits.unitOpener = true;
            else if (w == "elseif") hits.words.elseifWord = true;
            break;
        case 7:
            if (w == "elseif1") hits.closer = true;
            else if (w == "program") hits.unitOpener = true;
            break;
        case 8:
            if (w == "function") hits.unitOpener = true;
            break;
        case 9:
            if (w == "endmodule") hits.closer = true;
            break;
        case 10:
            if (w == "subroutine") hits.unitOpener = true;
            else if (w == "endprogram") hits.closer = true;
            break;
        case 11:
            if (w == "endfunction") hits.closer = true;
            break;
        case 13:
            if (w == "endsubroutine") hits.closer = true;
            break;
        default:
            break;
    }
    if (endsInParenThen(w)) hits.addOpener = true;
}

TokenHits findTokens(std::string_view line) {
    TokenHits hits;
    std::size_t i = 0;
    const std::size_t n = line.size();
    // "end program" stands in the line exactly when a word ending in "end"
    // is followed, after a single blank, by a word starting with "program".
    bool afterEnd = false;
    while (i < n) {
        const std::size_t gapStart = i;
        while (i < n && line[i] == ' ') ++i;
        std::size_t j = i;
        while (j < n && line[j] != ' ') ++j;
        if (j > i) {
            const std::string_view word = line.substr(i, j - i);
            if (afterEnd && i - gapStart == 1 && startsWithProgram(word)) hits.closer = true;
            classifyWord(word, hits);
            afterEnd = endsInEnd(word);
        }
        i = j;
    }
    return hits;
}

/// Whether a line that holds a closing token closes a whole program unit: its
/// blank-free copy holds a unit end word (a trailing comment counts), or its
/// code part, the blank-free copy before any "!", is "end" alone.
bool closesUnit(std::string_view line) {
    std::string blankFree;
    blankFree.reserve(line.size());
    for (char c : line)
        if (c != ' ') blankFree.push_back(c);
    for (std::string_view word : unitEndWords)
        if (contains(blankFree, word)) return true;
    if (!contains(blankFree, "end")) return false;
    const std::string_view beforeComment = std::string_view(blankFree).substr(0, blankFree.find('!'));
    return toLowerAscii(beforeComment) == "end";
}

void step(int& indent, int delta) {
    const int next = indent + delta;
    if (next <= kIndentMax && next >= kIndentMin) indent = next;  // a 16-bit overflow is skipped
}

}  // namespace

bool iszm(std::string_view zf) {
    if (zf.empty()) return false;
    const char c = lowerAscii(zf.front());
    if (c == ' ') return false;
    return c >= 'a' && c <= 'z';
}

bool tuihang(std::string& dm, SessionState& state) {
    LineWords words;
    const bool opener = classifyLine(dm, state, words);
    if (words.framed) {
        dm.insert(dm.begin(), ' ');
        dm.push_back(' ');
    }
    return opener;
}

bool classifyLine(std::string_view dm, SessionState& state, LineWords& words) {
    words = LineWords{};
    // Comment lines: "!" as the first non-blank character, or c followed by
    // a blank, by nothing, or by anything that is not a letter (fixed form).
    const std::size_t first = dm.find_first_not_of(' ');
    if (first != std::string_view::npos && dm[first] == '!') return false;
    const std::string_view trimmed = trimBlanks(dm);
    if (!trimmed.empty() && lowerAscii(trimmed.front()) == 'c') {
        if (trimmed.size() < 2 || trimmed[1] == ' ' || !iszm(trimmed.substr(1, 1))) return false;
    }

    const TokenHits hits = findTokens(dm);
    words = hits.words;
    words.framed = true;
    bool opener = false;
    if (hits.closer) {
        if (closesUnit(dm)) {
            state.indentColumns = 0;
            state.unitEnded = true;
        } else {
            step(state.indentColumns, -kStep);
        }
    } else if (hits.addOpener) {
        step(state.indentColumns, kStep);
        opener = true;
    } else if (hits.unitOpener) {
        state.indentColumns = kStep;
        opener = true;
    } else if (hits.if1) {
        step(state.indentColumns, kStep);
        opener = true;
    }
    if (state.indentColumns <= 0) state.indentColumns = 0;

    return opener;
}

}  // namespace codekiln
