// The backup slot in the settings store: where it is kept, and reading it
// back at start-up. The store keeps the slot as decimal text; whatever text
// is found there is read as a number and brought to a usable slot, so that a
// hand-edited or damaged entry never leaves a run with a slot outside 0..5.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace codekiln {

/// The settings section and key that hold the backup slot.
inline constexpr const char* kSlotSection = "chuli";
inline constexpr const char* kSlotKey = "benfencishu";

/// The slot the settings store holds, as a program start reads it.
int readStoredSlot(Platform& platform);

/// The slot for the stored text: its leading decimal number (leading blanks
/// skipped, an optional sign, digits, an optional fraction), rounded to the
/// nearest integer with an exact half going to the even neighbour. Empty or
/// non-numeric text gives 0, and so does any value outside 0..5.
int parseBackupSlot(std::string_view text);

}  // namespace codekiln
