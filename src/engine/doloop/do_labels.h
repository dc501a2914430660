// Labelled DO loops: a DO statement may name the label of the statement that
// ends its loop (DO 10 I = 1, N ... 10 CONTINUE). The classifier raises the
// indentation after every DO but cannot see where such a loop ends; these two
// operations record the labels and close the loops at the labelled line.
#pragma once

#include <string_view>

#include "engine/state/do_label_record.h"

namespace codekiln {

/// `do77`: records the label named by a labelled DO statement in `sr2` (the
/// output line as it will be written). The label is kept as the text that
/// follows DO (0010 stays 0010, "10," keeps its comma); unlabelled loops,
/// DO WHILE and comment lines record nothing.
void do77(std::string_view sr2, DoLabelRecord& record);

/// `continucl`: when `sr2` begins with a statement label, closes every open
/// loop recorded with exactly that label and lowers `indentColumns` by 4 for
/// each, stopping at 0. Returns true when at least one loop was closed.
bool continucl(std::string_view sr2, DoLabelRecord& record, int& indentColumns);

/// The leading part of `token` that reads as a decimal number (sign, digits
/// with at most one point, optional e/d exponent) is not zero. A token that
/// does not begin with a number reads as zero. The reading never depends on
/// the process's locale: the point is always the decimal point.
bool readsAsNonZero(std::string_view token);

}  // namespace codekiln
