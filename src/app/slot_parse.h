// Reading the stored backup slot back at start-up. The settings store keeps
// the slot as decimal text; whatever text is found there is read as a number
// and brought to a usable slot, so that a hand-edited or damaged entry never
// leaves the window with a slot outside 0..5.
#pragma once

#include <string_view>

namespace codekiln {

/// The slot for the stored text: its leading decimal number (leading blanks
/// skipped, an optional sign, digits, an optional fraction), rounded to the
/// nearest integer with an exact half going to the even neighbour. Empty or
/// non-numeric text gives 0, and so does any value outside 0..5.
int parseBackupSlot(std::string_view text);

}  // namespace codekiln
