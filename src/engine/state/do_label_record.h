// The record of labelled DO loops: the only state the engine carries from one
// file to the next. Indentation and the end-of-unit flag start afresh in every
// file; the labels named by DO statements stay recorded until a separator
// banner clears them, even across files and runs.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace codekiln {

/// The labels named by labelled DO statements since the last separator
/// banner (`doLabels`, `doLabelCount`), each loop open until a line carrying
/// its label closes it.
struct DoLabelRecord {
    /// `doLabelCount`: labelled DO statements recorded since the last reset,
    /// open or closed. Zero means nothing is recorded.
    std::int64_t doLabelCount = 0;
    /// The number of loops still open per label text (the token after DO, as
    /// written). Closing a label sets its count to zero, so a closed loop is
    /// never closed again.
    std::unordered_map<std::string, std::int64_t> openLoops;

    /// Forgets every recorded label (the separator banner's reset).
    void reset() {
        doLabelCount = 0;
        openLoops.clear();
    }

    bool operator==(const DoLabelRecord& other) const {
        return doLabelCount == other.doLabelCount && openLoops == other.openLoops;
    }
    bool operator!=(const DoLabelRecord& other) const { return !(*this == other); }
};

}  // namespace codekiln
