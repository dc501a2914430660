// The shared state of one program session: what the main window owns for its
// whole life and what every run, file and line moves. Plain data, passed by
// reference to each stage; there are no globals.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace codekiln {

/// The three layout choices a run reads from the window's option buttons.
struct FormatOptions {
    bool removeBlankLines = false;  ///< "去除空行": drop blank lines while reading
    bool indentElse = true;         ///< "缩  进": move else, elseif and case lines back one step
    bool showSeparators = true;     ///< "显  示": separator banner after each program unit
};

/// The record of labelled DO loops: labels named by DO statements since the
/// last separator banner, each open until a line carrying its label closes it.
struct DoLabelRecord {
    /// `doLabelCount`: labelled DO statements recorded since the last reset,
    /// open or closed. Zero means nothing is recorded.
    std::int64_t doLabelCount = 0;
    /// Open loops per recorded label text (the token after DO, as written).
    /// A closed loop is no longer counted here; it behaves like the entry
    /// "-1", which no label ever matches again.
    std::unordered_map<std::string, std::int64_t> openLoops;

    /// Forgets every recorded label (the separator banner's reset).
    void reset() {
        doLabelCount = 0;
        openLoops.clear();
    }
};

/// The state a session carries from line to line, file to file and run to run.
struct SessionState {
    int backupSlot = 0;  ///< backup folder 1..5 in use; 0 before the first run
    /// Names of the files of the current run in the order processed
    /// (`processedNames`; the k-th file of a run is element k - 1).
    std::vector<std::string> processedNames;
    std::int64_t fileCount = 0;   ///< files handed to `chuli` in the current run
    std::int64_t lineCount = 0;   ///< code lines counted in the file just processed
    std::int64_t totalLines = 0;  ///< sum of `lineCount` over the run
    /// `indentColumns`: the running indentation in columns for the lines that
    /// follow. Keeps its 16-bit ceiling: an opener never carries it past 32764.
    int indentColumns = 0;
    bool unitEnded = false;  ///< the last classified line closed a program unit
    DoLabelRecord doLabels;  ///< `doLabels` with `doLabelCount`
};

}  // namespace codekiln
