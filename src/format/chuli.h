// The formatting pass over one file on disk (`chuli`): the run's counters,
// the backup slot stored, the backup copy, then reading through the
// platform, formatting with the engine and writing the file back in place.
// A file is only rewritten when its backup copy exists; a file that cannot
// be backed up, read, decoded or written keeps its bytes and is reported.
#pragma once

#include <string>

#include "platform/platform.h"
#include "state/session_state.h"

namespace codekiln {

/// The settings section and key that hold the backup slot.
inline constexpr const char* kSlotSection = "chuli";
inline constexpr const char* kSlotKey = "benfencishu";

/// The name of backup folder `slot` ("备份" and the slot in decimal).
std::string backupFolderName(int slot);

/// The part of `fn` after its last separator (the whole of `fn` without one).
std::string fileNameOf(const std::string& fn);

/// `chuli`: formats the file `fn` in place. Adds one to `fileCount`, records
/// the name, stores the backup slot, and leaves the file's code-line count in
/// `lineCount`. Fails, with the reason, when the file was left unchanged.
Status chuli(const std::string& fn, SessionState& state, const FormatOptions& options, Platform& platform);

}  // namespace codekiln
