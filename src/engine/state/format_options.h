// The layout choices of a run: the three the window's option buttons give,
// and the source form the command line may ask for. Plain data, read by
// every stage of the engine.
#pragma once

#include <string_view>

namespace codekiln {

/// How the lines of a source file are laid out.
enum class SourceForm {
    Free,   ///< free form: a statement anywhere on its line
    Fixed,  ///< fixed form: label in columns 1-5, continuation mark in 6, statement in 7-72
    Auto,   ///< fixed for the extensions .f .for .ftn .f77 (any letter case), free otherwise
};

/// Which layout a run writes.
enum class LayoutStyle {
    Classic,  ///< the window's layout: banners, blank runs shortened, CR LF
    Modern,   ///< only leading blanks change (trailing ones go), by the block structure
};

/// The indent width's bounds in the modern layout; classic always uses 4.
inline constexpr int kMinIndentWidth = 1;
inline constexpr int kMaxIndentWidth = 8;

/// The layout choices a run reads.
struct FormatOptions {
    bool removeBlankLines = false;  ///< "去除空行": drop blank lines while reading
    bool indentElse = true;         ///< "缩  进": move else, elseif and case lines back one step
    bool showSeparators = true;     ///< "显  示": separator banner after each program unit
    SourceForm form = SourceForm::Free;  ///< the engine reads Auto as Free; callers resolve it per file
    LayoutStyle style = LayoutStyle::Classic;
    int indentWidth = 4;  ///< columns per level in the modern layout
};

/// Reads "classic" or "modern" (exactly, lower case) into `style`; false for
/// any other text, leaving `style` alone.
inline bool parseLayoutStyle(std::string_view text, LayoutStyle& style) {
    if (text == "classic") {
        style = LayoutStyle::Classic;
    } else if (text == "modern") {
        style = LayoutStyle::Modern;
    } else {
        return false;
    }
    return true;
}

/// Reads a whole decimal number from kMinIndentWidth to kMaxIndentWidth into
/// `width`; false for anything else, leaving `width` alone.
inline bool parseIndentWidth(std::string_view text, int& width) {
    if (text.size() != 1 || text[0] < '0' + kMinIndentWidth || text[0] > '0' + kMaxIndentWidth) return false;
    width = text[0] - '0';
    return true;
}

/// Reads "fixed", "free" or "auto" (exactly, lower case) into `form`; false
/// for any other text, leaving `form` alone.
inline bool parseSourceForm(std::string_view text, SourceForm& form) {
    if (text == "fixed") {
        form = SourceForm::Fixed;
    } else if (text == "free") {
        form = SourceForm::Free;
    } else if (text == "auto") {
        form = SourceForm::Auto;
    } else {
        return false;
    }
    return true;
}

/// The form a file named `fileName` is formatted in: `form` itself unless it
/// is Auto, which means fixed for names ending in .f, .for, .ftn or .f77 (in
/// any letter case) and free for every other name.
inline SourceForm formForFile(SourceForm form, std::string_view fileName) {
    if (form != SourceForm::Auto) return form;
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) return SourceForm::Free;
    std::string_view ext = fileName.substr(dot + 1);
    if (ext.size() > 3) return SourceForm::Free;
    char lower[3] = {};
    for (std::size_t i = 0; i < ext.size(); ++i) lower[i] = (ext[i] >= 'A' && ext[i] <= 'Z') ? static_cast<char>(ext[i] + 32) : ext[i];
    const std::string_view e(lower, ext.size());
    return e == "f" || e == "for" || e == "ftn" || e == "f77" ? SourceForm::Fixed : SourceForm::Free;
}

/// Whether a free-form pass cleans and reads its lines on a second thread,
/// ahead of the thread that places and writes them. The output is the same.
enum class LineReading { OnOneThread, AheadOnSecondThread };

}  // namespace codekiln
