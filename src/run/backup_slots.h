// The backup slots: five backup folders, 备份1 to 备份5, in the backup root,
// used in rotation, one per run; which folders they are, which slot comes
// next, which files lie in them, and the slot in the settings store. The
// store keeps the slot as decimal text; whatever text is found there is read
// as a number and brought to a usable slot, so that a hand-edited or damaged
// entry never leaves a run with a slot outside 0..5.
#pragma once

#include <string>
#include <string_view>

#include "platform/paths.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

namespace codekiln {

/// How many backup folders the runs rotate through.
inline constexpr int kBackupSlots = 5;

/// The settings section and key that hold the backup slot.
inline constexpr const char* kSlotSection = "chuli";
inline constexpr const char* kSlotKey = "benfencishu";

/// Whether `slot` names a backup folder (1 to kBackupSlots).
bool isBackupSlot(int slot);

/// The slot a run uses after the slot `current`: the next one, and the
/// first after the last (or after anything that names no backup folder).
int nextBackupSlot(int current);

/// The name of backup folder `slot` ("备份" and the slot in decimal).
std::string backupFolderName(int slot);

/// The folder of backup slot `slot` in the backup root `root`.
std::string backupFolderPath(const std::string& root, int slot);

/// The folder of backup slot `slot` under the file system's backup root.
std::string slotFolderPath(FileSystem& files, int slot);

/// Whether the resolved path `file` lies in one of the backup folders of the
/// resolved backup root `root`, by the path rules of `style`.
bool isInsideBackupFolder(std::string_view file, std::string_view root, PathStyle style = kNativePathStyle);

/// The slot the settings store holds, as a program start reads it;
/// `absent` while nothing is stored.
int readStoredSlot(SettingsStore& settings, int absent = 0);

/// Stores `slot` in the settings store.
Status storeSlot(SettingsStore& settings, int slot);

/// The slot for the stored text: its leading decimal number (leading blanks
/// skipped, an optional sign, digits, an optional fraction), rounded to the
/// nearest integer with an exact half going to the even neighbour. Empty or
/// non-numeric text gives 0, and so does any value outside 0..5.
int parseBackupSlot(std::string_view text);

}  // namespace codekiln
