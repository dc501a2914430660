// The modern layout: only a line's leading whitespace changes (and trailing
// blanks go), by the block structure of the Fortran statements. No banners,
// no blank collapsing; every line keeps its own line end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/state/format_options.h"

namespace codekiln {

/// The choices the modern layout reads.
struct ModernOptions {
    int indentWidth = 4;                 ///< columns per open construct (1 to 8)
    bool indentElse = true;              ///< case / type is / class is lines at the level of their select
    SourceForm form = SourceForm::Free;  ///< Free or Fixed; callers resolve Auto per file
};

/// A flaw in the file's block structure: an end that closes nothing or does
/// not match what is open, or a construct never closed. The file is still
/// formatted.
struct StructureWarning {
    std::int64_t line = 0;  ///< 1-based line the warning is about; 0 for the file as a whole
    std::string message;    ///< e.g. "end do closes nothing", "if at line 12 is never closed"
};

/// One file in the modern layout.
struct ModernFile {
    std::string text;                       ///< the whole text, each line with its own line end
    std::vector<StructureWarning> warnings; ///< in line order
};

/// Lays out a whole UTF-8 text (line ends included, kept as they are).
ModernFile formatModern(std::string_view text, const ModernOptions& options);

}  // namespace codekiln
