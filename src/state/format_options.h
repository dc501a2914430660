// The three layout choices of a run, as the window's option buttons give
// them. Plain data, read by every stage of the engine.
#pragma once

namespace codekiln {

/// The three layout choices a run reads from the window's option buttons.
struct FormatOptions {
    bool removeBlankLines = false;  ///< "去除空行": drop blank lines while reading
    bool indentElse = true;         ///< "缩  进": move else, elseif and case lines back one step
    bool showSeparators = true;     ///< "显  示": separator banner after each program unit
};

}  // namespace codekiln
