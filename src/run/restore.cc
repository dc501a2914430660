// Restoring a backup slot. Every path comes from the manifest or the slot's
// listing, so every path is checked before it is used: a manifest name must
// stay inside the run's folder step by step, a backup copy must be a plain
// file reached through plain folders of the slot, and a file in the folder
// that has become a symbolic link is left alone, never written through.
// A file still there is put back by the run's own rewrite, checked against
// what the restore read at the moment of writing: its owner, group and
// permissions are kept, and a file with several hard links is rewritten in
// place so that every name gets its text back.
#include "run/restore.h"

#include <cstdint>
#include <memory>

#include "platform/paths.h"
#include "run/chuli.h"
#include "run/run_record.h"

namespace codekiln {

namespace {

const char* const kKeptSuffix = ".before-restore";

std::string under(const std::string& base, const std::vector<std::string>& steps, std::size_t count) {
    std::string path = base;
    for (std::size_t i = 0; i < count; ++i) path = joinPath(path, steps[i]);
    return path;
}

// The steps of a manifest's name for a file below `folder`; false when the
// name leaves the folder: "..", ".", an empty step, or an absolute path
// elsewhere.
bool stepsInside(const std::string& folder, const std::string& path, std::vector<std::string>& steps) {
    std::string rest = path;
    if (isAbsolutePath(path)) {
        if (isSamePath(path, folder) || !isSameOrBelow(path, folder)) return false;
        rest = path.substr(isPathSeparator(folder.back()) ? folder.size() : folder.size() + 1);
    }
    steps.clear();
    std::string step;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !isPathSeparator(rest[i])) {
            step += rest[i];
            continue;
        }
        if (step.empty() || step == "." || step == "..") return false;
#ifdef _WIN32
        if (step.find(':') != std::string::npos) return false;  // a drive or a stream
#endif
        steps.push_back(step);
        step.clear();
    }
    return !steps.empty();
}

struct Context {
    Platform& platform;
    std::string slotFolder;
    std::string slotName;  ///< "备份k", for messages
    std::string folder;    ///< canonical
    bool force;
    bool dryRun;
};

// Whether the slot holds a plain file at `steps`, reached through plain
// folders: a symbolic link planted in the slot is never followed.
bool plainFileInSlot(const Context& c, const std::vector<std::string>& steps) {
    for (std::size_t i = 1; i < steps.size(); ++i) {
        if (c.platform.pathKind(under(c.slotFolder, steps, i)) != PathKind::Folder) return false;
    }
    return c.platform.pathKind(under(c.slotFolder, steps, steps.size())) == PathKind::File;
}

enum class TargetState { Missing, File, FolderGone, Outside, Link, NotFile };

// What stands at the file's place in the folder, and whether writing there
// stays inside the folder.
TargetState inspectTarget(const Context& c, const std::vector<std::string>& steps) {
    const std::string parent = c.platform.canonicalPath(under(c.folder, steps, steps.size() - 1));
    if (parent.empty()) return TargetState::FolderGone;
    if (!isSameOrBelow(parent, c.folder)) return TargetState::Outside;
    const std::string path = under(c.folder, steps, steps.size());
    switch (c.platform.pathKind(path)) {
        case PathKind::Missing:
            return TargetState::Missing;
        case PathKind::File:
            return TargetState::File;
        case PathKind::SymLink: {
            // A link where the run wrote a file was put there after the run:
            // writing through it would overwrite whatever it leads to.
            const std::string target = c.platform.canonicalPath(path);
            if (target.empty() || !isSameOrBelow(target, c.folder)) return TargetState::Outside;
            return TargetState::Link;
        }
        case PathKind::Folder:
        case PathKind::Other:
            break;
    }
    return TargetState::NotFile;
}

// A name beside the backup copy, not yet taken, for the file's text from
// before the restore.
std::string keptName(const Context& c, const std::vector<std::string>& steps) {
    const std::string base = under(c.slotFolder, steps, steps.size()) + kKeptSuffix;
    std::string name = base;
    for (int n = 2; c.platform.pathKind(name) != PathKind::Missing; ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

RestoreItem leftAlone(RestoreItem item, std::string reason) {
    item.action = RestoreAction::LeftAlone;
    item.reason = std::move(reason);
    return item;
}

// Puts `backup` back at the file's place, first keeping `current` in the
// slot when --force overwrites a changed file.
RestoreItem putBack(const Context& c, RestoreItem item, const std::vector<std::string>& steps,
                    const std::string& backup, const std::string& current, TargetState state,
                    const FileIdentity& read) {
    item.action = RestoreAction::Restored;
    if (c.dryRun) return item;
    if (!item.keptAs.empty()) {
        const Status kept = c.platform.writeFile(item.keptAs, current);
        if (!kept) return leftAlone(item, "its current text cannot be kept: " + kept.message);
    }
    const std::string path = under(c.folder, steps, steps.size());
    const Status written = state == TargetState::Missing ? c.platform.writeFile(path, backup)
                                                         : c.platform.restoreFile(path, backup, read);
    if (!written) return leftAlone(item, written.message);
    return item;
}

// Checks shared by both kinds of slot: the file's place in the folder, and
// its current bytes when it is there. Sets `item` and returns false when the
// file must be left alone whatever --force says.
bool readTarget(const Context& c, const std::vector<std::string>& steps, TargetState& state,
                std::string& current, FileIdentity& read, RestoreItem& item) {
    state = inspectTarget(c, steps);
    switch (state) {
        case TargetState::FolderGone:
            item = leftAlone(item, "its folder is gone");
            return false;
        case TargetState::Outside:
            item = leftAlone(item, "a symbolic link out of " + c.folder + "; not followed");
            return false;
        case TargetState::Link:
            item = leftAlone(item, "now a symbolic link; not followed");
            return false;
        case TargetState::NotFile:
            item = leftAlone(item, "no longer a file");
            return false;
        case TargetState::Missing:
            return true;
        case TargetState::File:
            break;
    }
    const Status status = c.platform.readFileOnce(under(c.folder, steps, steps.size()), current, read);
    if (!status) item = leftAlone(item, status.message);
    return static_cast<bool>(status);
}

// Whether `bytes` are those `recorded` describes, hashed as it was (bytes
// of another size are not hashed at all).
bool holds(Platform& platform, const std::string& bytes, const Fingerprint& recorded) {
    if (static_cast<std::int64_t>(bytes.size()) != recorded.size) return false;
    return platform.fingerprint(bytes, recorded.hash) == recorded;
}

RestoreItem restoreEntry(const Context& c, const ManifestFile& entry, const std::vector<std::string>& steps) {
    RestoreItem item;
    item.path = entry.path;
    if (!plainFileInSlot(c, steps)) {
        return leftAlone(item, "its backup copy in " + c.slotName + " is missing or not a plain file");
    }
    std::string backup;
    const Status read = c.platform.readFile(under(c.slotFolder, steps, steps.size()), backup);
    if (!read) return leftAlone(item, read.message);
    if (!holds(c.platform, backup, entry.original)) {
        return leftAlone(item, "its backup copy in " + c.slotName + " is no longer the one this run made");
    }

    TargetState state;
    std::string current;
    FileIdentity seen;
    if (!readTarget(c, steps, state, current, seen, item)) return item;
    if (state == TargetState::Missing) {
        if (!c.force) return leftAlone(item, "deleted since the run (--force restores it)");
        item.reason = "deleted since the run";
        return putBack(c, item, steps, backup, current, state, seen);
    }
    if (holds(c.platform, current, entry.original)) {
        item.action = RestoreAction::AlreadyOriginal;
        return item;
    }
    if (!holds(c.platform, current, entry.written)) {
        if (!c.force) {
            return leftAlone(
                item, "changed since the run (--force restores it, keeping its text in " + c.slotName + ")");
        }
        item.reason = "changed since the run";
        item.keptAs = keptName(c, steps);
    }
    return putBack(c, item, steps, backup, current, state, seen);
}

// A slot with a manifest: the run's folder and every name are checked
// before any file is looked at; one bad name refuses the whole manifest.
Status restoreFromManifest(Context& c, const RunManifest& m, const std::string& requestedFolder,
                           RestoreReport& report) {
    const std::string refused = c.slotFolder + kPathSeparator + kRunManifestName + ": refused, ";
    if (!isAbsolutePath(m.folder)) return Status::failure(refused + "it names no absolute folder");
    c.folder = c.platform.canonicalPath(m.folder);
    if (c.folder.empty() || c.platform.pathKind(c.folder) != PathKind::Folder) {
        return Status::failure(m.folder + ": the run's folder is gone");
    }
    if (!isSamePath(c.folder, m.folder)) {
        return Status::failure(refused + m.folder + " now leads elsewhere through a symbolic link (" +
                               c.folder + ")");
    }
    if (!requestedFolder.empty() && !isSamePath(c.platform.canonicalPath(requestedFolder), c.folder)) {
        return Status::failure(c.slotName + " holds a run over " + m.folder + ", not over " +
                               requestedFolder);
    }
    report.folder = c.folder;
    std::vector<std::vector<std::string>> steps(m.files.size());
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (!stepsInside(c.folder, m.files[i].path, steps[i])) {
            return Status::failure(refused + "it names \"" + m.files[i].path +
                                   "\", which is not a file inside " + c.folder);
        }
    }
    // Only the files the run changed have anything to undo.
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (m.files[i].end == FileEnd::Formatted)
            report.items.push_back(restoreEntry(c, m.files[i], steps[i]));
    }
    return Status::success();
}

// One copy of a slot without manifest, put back over the same-named file
// of the folder after keeping that file's text in the slot.
RestoreItem restoreSameName(const Context& c, RestoreItem item, const std::vector<std::string>& steps) {
    std::string backup;
    const Status read = c.platform.readFile(under(c.slotFolder, steps, 1), backup);
    if (!read) return leftAlone(item, read.message);
    TargetState state;
    std::string current;
    FileIdentity seen;
    if (!readTarget(c, steps, state, current, seen, item)) return item;
    if (state == TargetState::Missing) {
        return leftAlone(item, "not in " + c.folder + "; its copy may come from a run over another folder");
    }
    if (current == backup) {
        item.action = RestoreAction::AlreadyOriginal;
        return item;
    }
    item.keptAs = keptName(c, steps);
    return putBack(c, item, steps, backup, current, state, seen);
}

// A slot from before manifests were kept: only with --force, only into a
// folder named on the command line, and only over files that are there
// (a copy whose file is not in the folder may come from a run elsewhere).
Status restoreWithoutManifest(Context& c, const std::string& requestedFolder, RestoreReport& report) {
    if (!c.force || requestedFolder.empty()) {
        return Status::failure(c.slotFolder +
                               ": no manifest (a run before manifests were kept); restore it "
                               "with --force and the FOLDER to restore into");
    }
    c.folder = c.platform.canonicalPath(requestedFolder);
    if (c.folder.empty() || c.platform.pathKind(c.folder) != PathKind::Folder) {
        return Status::failure(requestedFolder + ": not a folder");
    }
    report.folder = c.folder;
    std::vector<std::string> names;
    const Status listed = c.platform.listFiles(c.slotFolder, "", names);
    if (!listed) return listed;
    for (const std::string& name : names) {
        if (name.find(kKeptSuffix) != std::string::npos) continue;  // kept by an earlier restore
        const std::vector<std::string> steps{name};
        RestoreItem item;
        item.path = name;
        if (!plainFileInSlot(c, steps)) {
            report.items.push_back(leftAlone(item, "a symbolic link in " + c.slotName + "; not followed"));
            continue;
        }
        report.items.push_back(restoreSameName(c, item, steps));
    }
    return Status::success();
}

Status checkSlotFolder(Platform& platform, const std::string& slotFolder) {
    switch (platform.pathKind(slotFolder)) {
        case PathKind::Folder:
            return Status::success();
        case PathKind::Missing:
            return Status::failure(slotFolder + ": no such backup folder");
        case PathKind::SymLink:
            return Status::failure(slotFolder + ": a symbolic link; not followed");
        default:
            return Status::failure(slotFolder + ": not a folder");
    }
}

}  // namespace

RestoreReport restoreSlot(const RestoreRequest& request, Platform& platform) {
    RestoreReport report;
    if (!isBackupSlot(request.slot)) {
        report.status = Status::failure("backup slot " + std::to_string(request.slot) + ": slots are 1 to " +
                                        std::to_string(kBackupSlots));
        return report;
    }
    Context c{platform,
              slotFolderPath(platform, request.slot),
              backupFolderName(request.slot),
              {},
              request.force,
              request.dryRun};
    report.slotFolder = c.slotFolder;
    std::unique_ptr<RootLock> lock;
    report.status = platform.lockBackupRoot(request.lockWaitMilliseconds, lock);
    if (!report.status) return report;
    report.status = checkSlotFolder(platform, c.slotFolder);
    if (!report.status) return report;
    report.status = platform.readRunManifest(c.slotFolder, report.manifest, report.hasManifest);
    if (!report.status) return report;
    report.status = report.hasManifest ? restoreFromManifest(c, report.manifest, request.folder, report)
                                       : restoreWithoutManifest(c, request.folder, report);
    return report;
}

int lastRecordedSlot(Platform& platform) {
    int last = 0;
    std::int64_t newest = 0;
    for (int slot = 1; slot <= kBackupSlots; ++slot) {
        const std::string folder = slotFolderPath(platform, slot);
        if (platform.pathKind(folder) != PathKind::Folder) continue;
        RunManifest manifest;
        bool found = false;
        if (!platform.readRunManifest(folder, manifest, found) || !found) continue;
        if (last == 0 || manifest.startedMs > newest) {
            last = slot;
            newest = manifest.startedMs;
        }
    }
    return last;
}

std::vector<SlotListing> listBackupSlots(Platform& platform) {
    std::vector<SlotListing> slots;
    for (int slot = 1; slot <= kBackupSlots; ++slot) {
        SlotListing listing;
        listing.slot = slot;
        Context c{platform, slotFolderPath(platform, slot), backupFolderName(slot), {}, false, true};
        bool found = false;
        std::vector<std::string> names;
        Status status = checkSlotFolder(platform, c.slotFolder);
        if (platform.pathKind(c.slotFolder) == PathKind::Missing) {
            listing.state = SlotListing::State::Empty;
        } else if (!status || !(status = platform.readRunManifest(c.slotFolder, listing.manifest, found))) {
            listing.state = SlotListing::State::Damaged;
            listing.problem = status.message;
        } else if (!found) {
            platform.listFiles(c.slotFolder, "", names);
            listing.state = names.empty() ? SlotListing::State::Empty : SlotListing::State::NoManifest;
        } else {
            // A dry run without --force: what a plain restore would leave alone.
            RestoreReport dry;
            status = restoreFromManifest(c, listing.manifest, {}, dry);
            for (const RestoreItem& item : dry.items)
                listing.changed += item.action == RestoreAction::LeftAlone;
            listing.state = !status                ? SlotListing::State::Damaged
                            : listing.changed == 0 ? SlotListing::State::Clean
                                                   : SlotListing::State::Changed;
            listing.problem = status.message;
        }
        slots.push_back(std::move(listing));
    }
    return slots;
}

}  // namespace codekiln
