// The classifier searches the framed line (one blank, the line, one blank)
// for its tokens. Every token has one of three shapes, and each shape stands
// in the framed line exactly when the line's blank-separated words say so:
//   " word "  stands there when `word` is one of the words;
//   "tail "   stands there when a word ends in `tail` (")then ");
//   "a b"     stands there when a word ending in `a` is followed, after a
//             single blank, by a word starting with `b` ("end program").
// The word index below is built from the token tables at compile time, so
// one walk over the words answers every search and the tables stay the one
// place where the tokens are written down.
#include "engine/indent/tuihang.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/state/text.h"

namespace codekiln {
namespace {

constexpr int kStep = 4;
constexpr int kIndentMax = INT16_MAX;
constexpr int kIndentMin = INT16_MIN;
constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

/// What one word, or one word after another, means to the searches.
struct TokenMeaning {
    bool closes = false;             ///< an entry of closingTokens
    std::size_t opening = kNoEntry;  ///< the first entry of openingTokens it is
    bool movesBack = false;          ///< an entry of moveBackTokens
    bool doWord = false;             ///< the word do

    constexpr void merge(const TokenMeaning& other) {
        closes = closes || other.closes;
        if (other.opening < opening) opening = other.opening;
        movesBack = movesBack || other.movesBack;
        doWord = doWord || other.doWord;
    }
};

/// A " word " token, by the word.
struct WordEntry {
    std::string_view word;
    TokenMeaning meaning;
};

/// A "tail " or "a b" token.
struct SpecialEntry {
    std::string_view first;   ///< the tail, or `a`
    std::string_view second;  ///< empty for a tail, else `b`
    TokenMeaning meaning;
};

constexpr std::size_t kMaxWordLength = 16;  // longer words are no tokens
constexpr std::size_t kWordsPerLength = 6;
constexpr std::size_t kMaxSpecials = 4;

constexpr std::size_t countBlanks(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += c == ' ' ? 1 : 0;
    return n;
}

struct TokenIndex {
    std::array<std::array<WordEntry, kWordsPerLength>, kMaxWordLength> byLength{};
    std::array<std::size_t, kMaxWordLength> count{};
    std::array<SpecialEntry, kMaxSpecials> specials{};
    std::size_t specialCount = 0;
    bool valid = true;  ///< every token has one of the three shapes and fits the index

    constexpr void add(std::string_view token, const TokenMeaning& meaning) {
        const std::size_t n = token.size();
        const std::size_t blanks = countBlanks(token);
        if (n >= 3 && token.front() == ' ' && token.back() == ' ' && blanks == 2) {
            addWord(token.substr(1, n - 2), meaning);
        } else if (n >= 2 && token.front() != ' ' && token.back() == ' ' && blanks == 1) {
            addSpecial(token.substr(0, n - 1), {}, meaning);
        } else if (n >= 3 && token.front() != ' ' && token.back() != ' ' && blanks == 1) {
            std::size_t at = 0;
            while (token[at] != ' ') ++at;
            addSpecial(token.substr(0, at), token.substr(at + 1), meaning);
        } else {
            valid = false;
        }
    }

    constexpr void addWord(std::string_view word, const TokenMeaning& meaning) {
        if (word.size() >= kMaxWordLength) {
            valid = false;
            return;
        }
        auto& bucket = byLength[word.size()];
        std::size_t& used = count[word.size()];
        for (std::size_t i = 0; i < used; ++i) {
            if (bucket[i].word == word) {
                bucket[i].meaning.merge(meaning);
                return;
            }
        }
        if (used == kWordsPerLength) {
            valid = false;
            return;
        }
        bucket[used].word = word;
        bucket[used].meaning = meaning;
        ++used;
    }

    constexpr void addSpecial(std::string_view first, std::string_view second, const TokenMeaning& meaning) {
        for (std::size_t i = 0; i < specialCount; ++i) {
            if (specials[i].first == first && specials[i].second == second) {
                specials[i].meaning.merge(meaning);
                return;
            }
        }
        if (specialCount == kMaxSpecials) {
            valid = false;
            return;
        }
        specials[specialCount].first = first;
        specials[specialCount].second = second;
        specials[specialCount].meaning = meaning;
        ++specialCount;
    }
};

constexpr TokenIndex buildIndex() {
    TokenIndex index;
    for (std::string_view token : closingTokens) {
        TokenMeaning m;
        m.closes = true;
        index.add(token, m);
    }
    for (std::size_t i = 0; i < openingTokens.size(); ++i) {
        TokenMeaning m;
        m.opening = i;
        m.doWord = openingTokens[i].token == " do ";
        index.add(openingTokens[i].token, m);
    }
    for (std::string_view token : moveBackTokens) {
        TokenMeaning m;
        m.movesBack = true;
        index.add(token, m);
    }
    return index;
}

constexpr TokenIndex kIndex = buildIndex();
static_assert(kIndex.valid, "every token is \" word \", \"tail \" or \"a b\" and fits the word index");

/// For each word length, the bytes a token word of that length starts with,
/// as bits of a 256-bit set: a word whose first byte is not among them is
/// no token word, and most words of a line are turned away by this one test.
struct FirstBytes {
    std::array<std::array<std::uint64_t, 4>, kMaxWordLength> bits{};
    constexpr bool has(std::size_t length, unsigned char c) const { return (bits[length][c >> 6] >> (c & 63)) & 1; }
};

constexpr FirstBytes buildFirstBytes() {
    FirstBytes first;
    for (std::size_t length = 0; length < kMaxWordLength; ++length) {
        for (std::size_t k = 0; k < kIndex.count[length]; ++k) {
            const auto c = static_cast<unsigned char>(kIndex.byLength[length][k].word.front());
            first.bits[length][c >> 6] |= std::uint64_t{1} << (c & 63);
        }
    }
    return first;
}

constexpr FirstBytes kFirstBytes = buildFirstBytes();

/// Whether the `n` bytes at `a` and `b` are the same. The words compared are
/// a few bytes long: a plain loop beats a call to memcmp.
inline bool sameBytes(const char* a, const char* b, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k)
        if (a[k] != b[k]) return false;
    return true;
}

inline bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.back() == tail.back() &&
           sameBytes(s.data() + s.size() - tail.size(), tail.data(), tail.size());
}

inline bool startsWith(std::string_view s, std::string_view head) {
    return s.size() >= head.size() && s.front() == head.front() && sameBytes(s.data(), head.data(), head.size());
}

/// What one word of the line adds to `hits`; `previous` is the word before
/// it when a single blank separates them, else empty.
inline void lookUp(std::string_view word, std::string_view previous, TokenMeaning& hits) {
    const std::size_t length = word.size();
    if (length < kMaxWordLength && kFirstBytes.has(length, static_cast<unsigned char>(word.front()))) {
        const auto& bucket = kIndex.byLength[length];
        const std::size_t used = kIndex.count[length];
        for (std::size_t k = 0; k < used; ++k) {
            const std::string_view candidate = bucket[k].word;
            if (candidate.front() == word.front() && sameBytes(candidate.data() + 1, word.data() + 1, length - 1))
                hits.merge(bucket[k].meaning);
        }
    }
    for (std::size_t k = 0; k < kIndex.specialCount; ++k) {
        const SpecialEntry& s = kIndex.specials[k];
        const bool found = s.second.empty()
                               ? endsWith(word, s.first)
                               : !previous.empty() && startsWith(word, s.second) && endsWith(previous, s.first);
        if (found) hits.merge(s.meaning);
    }
}

/// Every token that stands in the framed line, by one walk over its words.
/// A word is looked up among the token words of its length by its first
/// byte before the rest of it is compared: most words of a line are no
/// token and fail there.
TokenMeaning findTokens(std::string_view line) {
    TokenMeaning hits;
    std::string_view previous;  // the word before, when a single blank separates them
    const std::size_t n = line.size();
    const char* const text = line.data();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t gapStart = i;
        while (i < n && text[i] == ' ') ++i;
        if (i == n) break;
        const std::size_t j = i + findBlank(text + i, n - i);
        const std::string_view word(text + i, j - i);
        if (i - gapStart != 1) previous = {};
        lookUp(word, previous, hits);
        previous = word;
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

/// A step that would carry the 16-bit indentation past its range is skipped.
int step(int indent, int delta) {
    const int next = indent + delta;
    return next <= kIndentMax && next >= kIndentMin ? next : indent;
}

/// Comment lines: "!" as the first non-blank character, or c followed by a
/// blank, by nothing, or by anything that is not a letter (fixed form).
bool isCommentLine(std::string_view dm) {
    const std::size_t first = countLeadingBlanks(dm.data(), dm.size());
    if (first == dm.size()) return false;
    const char c = dm[first];
    if (c == '!') return true;
    if (lowerAscii(c) != 'c') return false;
    // A blank after the c makes a comment line whether or not more follows.
    return first + 1 == dm.size() || dm[first + 1] == ' ' || !iszm(dm.substr(first + 1, 1));
}

}  // namespace

bool iszm(std::string_view zf) {
    if (zf.empty()) return false;
    const char c = lowerAscii(zf.front());
    if (c == ' ') return false;
    return c >= 'a' && c <= 'z';
}

LineClass tuihang(std::string_view dm, int indentColumns) { return placeLine(classifyLine(dm), indentColumns); }

LineClass classifyLine(std::string_view dm) {
    LineClass line;
    if (isCommentLine(dm)) {
        line.kind = LineKind::Comment;
        return line;
    }
    const TokenMeaning hits = findTokens(dm);
    line.movesBack = hits.movesBack;
    line.doWord = hits.doWord;
    if (hits.closes) {
        line.kind = closesUnit(dm) ? LineKind::UnitCloser : LineKind::BlockCloser;
    } else if (hits.opening != kNoEntry) {
        line.kind = openingTokens[hits.opening].step == OpeningStep::Set4 ? LineKind::UnitOpener : LineKind::BlockOpener;
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

LineClass placeLine(LineClass line, int indentColumns) {
    int indent = indentColumns;
    switch (line.kind) {
        case LineKind::Comment:
            line.indentAfter = indentColumns;  // not even the floor at zero
            return line;
        case LineKind::UnitCloser:
            indent = 0;
            break;
        case LineKind::BlockCloser:
            indent = step(indent, -kStep);
            break;
        case LineKind::UnitOpener:
            indent = kStep;
            break;
        case LineKind::BlockOpener:
            indent = step(indent, kStep);
            break;
        case LineKind::Other:
            break;
    }
    line.indentAfter = indent <= 0 ? 0 : indent;
    return line;
}

}  // namespace codekiln
