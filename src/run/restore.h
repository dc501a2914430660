// Undoing a run: the originals in a backup slot put back where the run
// wrote them (the folder its manifest names, or a file's recorded place),
// each only where the file still holds what that run wrote, and the slots
// listed with whether they can still be restored cleanly. A restore never
// writes anywhere else, never follows a symbolic link planted in the slot
// or the folder, and holds the backup root's lock as a run does.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace codekiln {

/// What a restore is asked to do.
struct RestoreRequest {
    int slot = 0;  ///< the backup slot 1..5
    /// A folder named on the command line: required for a slot without a
    /// manifest; for one with a manifest it must be the manifest's folder.
    std::string folder;
    bool force = false;   ///< restore files changed or deleted since the run, keeping their text in the slot
    bool dryRun = false;  ///< say what would happen and change nothing
    int lockWaitMilliseconds = 0;
    /// Files looked at (read and compared) at once; 0: the machine's cores.
    /// The files are still put back one by one in order, and the report is
    /// that of one job.
    int jobs = 0;
};

/// What became of one file.
enum class RestoreAction {
    Restored,         ///< the original put back (with dryRun: would be)
    AlreadyOriginal,  ///< the file already holds the original; nothing to do
    LeftAlone,        ///< not touched, for `reason`
};

/// One file of a restore.
struct RestoreItem {
    std::string path;  ///< relative to the folder; absolute for a file with a recorded place
    RestoreAction action = RestoreAction::LeftAlone;
    std::string reason;  ///< why it was left alone, or what was restored over
    std::string keptAs;  ///< --force: where the file's text from before the restore is kept
};

/// What a restore did.
struct RestoreReport {
    Status status;  ///< a failure means nothing was restored: no lock, no slot, a refused manifest
    std::string slotFolder;
    std::string folder;  ///< the folder restored into
    bool hasManifest = false;
    RunManifest manifest;  ///< when hasManifest
    /// The manifest is of a run that did not finish: the files its journal
    /// names (`manifest.files`) were put back as from a whole manifest; for
    /// a run that kept no journal, its copies by name below its folder, as
    /// for a slot without a manifest.
    bool unfinished = false;
    std::vector<RestoreItem> items;
};

/// Restores backup slot `request.slot` (see RestoreRequest).
RestoreReport restoreSlot(const RestoreRequest& request, FileSystem& files);

/// The slot of the newest run recorded in the backup root in use, by the
/// times its manifests hold; 0 when no slot there has a readable manifest.
int lastRecordedSlot(FileSystem& files);

/// One backup slot as --list-backups shows it.
struct SlotListing {
    enum class State {
        Empty,       ///< no slot folder, or no backup copy anywhere in it
        NoManifest,  ///< copies (in the slot or its subfolders) from a run that left no manifest
        Unfinished,  ///< the manifest of a run that did not finish (`manifest` without files)
        Damaged,     ///< a manifest that a restore would refuse, for `problem`
        Clean,       ///< every file the run formatted still holds what it wrote
        Changed,     ///< `changed` of them no longer do
    };
    int slot = 0;
    State state = State::Empty;
    RunManifest manifest;     ///< when Clean, Changed or Unfinished
    std::size_t changed = 0;  ///< files a plain restore would leave alone
    std::string problem;
};

/// The five backup slots, in order.
std::vector<SlotListing> listBackupSlots(FileSystem& files);

}  // namespace codekiln
