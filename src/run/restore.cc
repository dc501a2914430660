// Restoring a backup slot. Every path comes from the manifest or the slot's
// listing, so every path is checked before it is used: a manifest name must
// stay inside the run's folder step by step (a recorded place must be an
// absolute path without "." or ".." and its folder must still resolve to
// itself), a backup copy must be a plain
// file reached through plain folders of the slot, and a file in the folder
// that has become a symbolic link is left alone, never written through.
// A file still there is put back by the run's own rewrite, checked against
// what the restore read at the moment of writing: its owner, group and
// permissions are kept, and a file with several hard links is rewritten in
// place so that every name gets its text back.
#include "run/restore.h"

#include <cstdint>
#include <memory>
#include <set>

#include "platform/file_names.h"
#include "platform/fingerprint.h"
#include "platform/paths.h"
#include "run/chuli.h"
#include "run/reason_text.h"
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
    FileSystem& platform;
    std::string slotFolder;
    std::string slotName;  ///< "备份k", for messages
    std::string folder;    ///< canonical
    bool force;
    bool dryRun;
    /// The folders files were looked for in, where a killed run may have
    /// left its temporary files.
    mutable std::set<std::string> visited = {};
};

// Where a file is put back: steps below a canonical folder.
struct Target {
    std::string folder;
    std::vector<std::string> steps;

    std::string path() const { return under(folder, steps, steps.size()); }
};

// The length of the root of the absolute path `path`: "/", "C:/", or the
// "//" of a network path.
std::size_t rootLength(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && path[1] == ':') return 3;
    if (path.size() >= 2 && isPathSeparator(path[1])) return 2;
#endif
    (void)path;
    return 1;
}

// A manifest's place of a file: an absolute path with no "." or ".." or
// empty step, put back as its name in its folder.
bool placeTarget(const std::string& place, Target& target) {
    if (!isAbsolutePath(place)) return false;
    const std::size_t root = rootLength(place);
    std::vector<std::string> steps;
    if (!stepsInside(place.substr(0, root), place, steps)) return false;
    const std::size_t cut = place.size() - steps.back().size() - 1;
    target.folder = place.substr(0, cut < root ? root : cut);
    target.steps = {steps.back()};
    return true;
}

// Whether the slot holds a plain file at `steps`, reached through plain
// folders: a symbolic link planted in the slot is never followed.
bool plainFileInSlot(const Context& c, const std::vector<std::string>& steps) {
    for (std::size_t i = 1; i < steps.size(); ++i) {
        if (c.platform.pathKind(under(c.slotFolder, steps, i)) != PathKind::Folder) return false;
    }
    return c.platform.pathKind(under(c.slotFolder, steps, steps.size())) == PathKind::File;
}

enum class TargetState { Missing, File, FolderGone, Outside, Link, NotFile };

// What stands at the file's place, and whether writing there stays inside
// the target's folder.
TargetState inspectTarget(const Context& c, const Target& t) {
    const std::string parent = c.platform.canonicalPath(under(t.folder, t.steps, t.steps.size() - 1));
    if (parent.empty()) return TargetState::FolderGone;
    if (!isSameOrBelow(parent, t.folder)) return TargetState::Outside;
    const std::string path = t.path();
    switch (c.platform.pathKind(path)) {
        case PathKind::Missing:
            return TargetState::Missing;
        case PathKind::File:
            return TargetState::File;
        case PathKind::SymLink: {
            // A link where the run wrote a file was put there after the run:
            // writing through it would overwrite whatever it leads to.
            const std::string target = c.platform.canonicalPath(path);
            if (target.empty() || !isSameOrBelow(target, t.folder)) return TargetState::Outside;
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
std::string keptName(const Context& c, const std::vector<std::string>& slotSteps) {
    const std::string base = under(c.slotFolder, slotSteps, slotSteps.size()) + kKeptSuffix;
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

// A backup copy as read from the slot, with what the copy is (its
// permission bits and modification time are the original's).
struct Copy {
    std::string bytes;
    FileIdentity identity;
};

// Puts the copy back at the file's place, first keeping `current` in the
// slot when --force overwrites a changed file. A file deleted since the run
// is made anew, with the copy's permission bits and time, only while nothing
// else has taken its name.
RestoreItem putBack(const Context& c, RestoreItem item, const Target& t, const Copy& backup,
                    const std::string& current, TargetState state, const FileIdentity& read) {
    item.action = RestoreAction::Restored;
    if (c.dryRun) return item;
    if (!item.keptAs.empty()) {
        const Status kept = c.platform.writeBackup(item.keptAs, current, read);
        if (!kept) return leftAlone(item, "its current text cannot be kept: " + englishText(kept));
    }
    const Status written = state == TargetState::Missing
                               ? c.platform.createFile(t.path(), backup.bytes, backup.identity)
                               : c.platform.restoreFile(t.path(), backup.bytes, read);
    if (!written) return leftAlone(item, englishText(written));
    return item;
}

// Checks shared by both kinds of slot: the file's place, and its current
// bytes when it is there. Sets `item` and returns false when the file must
// be left alone whatever --force says.
bool readTarget(const Context& c, const Target& t, TargetState& state, std::string& current,
                FileIdentity& read, RestoreItem& item) {
    c.visited.insert(under(t.folder, t.steps, t.steps.size() - 1));
    state = inspectTarget(c, t);
    switch (state) {
        case TargetState::FolderGone:
            item = leftAlone(item, "its folder is gone");
            return false;
        case TargetState::Outside:
            item = leftAlone(item, "a symbolic link out of " + escapedName(t.folder) + "; not followed");
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
    const Status status = c.platform.readFileOnce(t.path(), current, read);
    if (!status) item = leftAlone(item, englishText(status));
    return static_cast<bool>(status);
}

// Whether `bytes` are those `recorded` describes, hashed as it was (bytes
// of another size are not hashed at all).
bool holds(const std::string& bytes, const Fingerprint& recorded) {
    if (static_cast<std::int64_t>(bytes.size()) != recorded.size) return false;
    return fingerprintOf(bytes, recorded.hash) == recorded;
}

RestoreItem restoreEntry(const Context& c, const ManifestFile& entry, const std::vector<std::string>& slotSteps,
                         const Target& t) {
    RestoreItem item;
    item.path = entry.place.empty() ? entry.path : entry.place;
    if (!plainFileInSlot(c, slotSteps)) {
        return leftAlone(item, "its backup copy in " + c.slotName + " is missing or not a plain file");
    }
    Copy backup;
    const Status read =
        c.platform.readFileOnce(under(c.slotFolder, slotSteps, slotSteps.size()), backup.bytes, backup.identity);
    if (!read) return leftAlone(item, englishText(read));
    if (!holds(backup.bytes, entry.original)) {
        return leftAlone(item, "its backup copy in " + c.slotName + " is no longer the one this run made");
    }

    TargetState state;
    std::string current;
    FileIdentity seen;
    if (!readTarget(c, t, state, current, seen, item)) return item;
    if (state == TargetState::Missing) {
        if (!c.force) return leftAlone(item, "deleted since the run (--force restores it)");
        item.reason = "deleted since the run";
        return putBack(c, item, t, backup, current, state, seen);
    }
    if (holds(current, entry.original)) {
        item.action = RestoreAction::AlreadyOriginal;
        return item;
    }
    if (!holds(current, entry.written)) {
        if (!c.force) {
            return leftAlone(
                item, "changed since the run (--force restores it, keeping its text in " + c.slotName + ")");
        }
        item.reason = "changed since the run";
        item.keptAs = keptName(c, slotSteps);
    }
    return putBack(c, item, t, backup, current, state, seen);
}

// A slot with a manifest: the run's folder and every name are checked
// before any file is looked at; one bad name refuses the whole manifest.
// A file recorded with its own place goes back there, whatever the run's
// folder has become; the others go below the run's folder.
Status restoreFromManifest(Context& c, const RunManifest& m, const std::string& requestedFolder,
                           RestoreReport& report) {
    const std::string manifestPath = c.slotFolder + kPathSeparator + kRunManifestName;
    const auto refused = [&](Status why) {
        return Status::failure(Why::ManifestRefused, manifestPath).because(why.reason);
    };
    if (!isAbsolutePath(m.folder)) return refused(Status::failure(Why::NoAbsoluteFolder));
    bool needsFolder = false;
    for (const ManifestFile& f : m.files) needsFolder |= f.end == FileEnd::Formatted && f.place.empty();
    c.folder = c.platform.canonicalPath(m.folder);
    if (needsFolder && (c.folder.empty() || c.platform.pathKind(c.folder) != PathKind::Folder)) {
        return Status::failure(Why::RunFolderGone, escapedName(m.folder));
    }
    if (needsFolder && !isSamePath(c.folder, m.folder)) {
        return refused(
            Status::failure(Why::FolderLeadsElsewhere, escapedName(m.folder), escapedName(c.folder)));
    }
    if (!needsFolder) c.folder = m.folder;
    if (!requestedFolder.empty() && !isSamePath(c.platform.canonicalPath(requestedFolder), c.folder)) {
        return Status::failure(Why::OtherRunsFolder, c.slotName, escapedName(m.folder),
                               escapedName(requestedFolder));
    }
    report.folder = c.folder;
    std::vector<std::vector<std::string>> steps(m.files.size());
    std::vector<Target> targets(m.files.size());
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        const ManifestFile& f = m.files[i];
        if (!stepsInside(c.folder, f.path, steps[i])) {
            return refused(Status::failure(Why::NameOutside, escapedName(f.path), escapedName(c.folder)));
        }
        if (f.place.empty()) {
            targets[i] = {c.folder, steps[i]};
        } else if (!placeTarget(f.place, targets[i])) {
            return refused(Status::failure(Why::PlaceNotAbsolute, escapedName(f.place)));
        }
    }
    // Only the files the run changed have anything to undo.
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (m.files[i].end == FileEnd::Formatted)
            report.items.push_back(restoreEntry(c, m.files[i], steps[i], targets[i]));
    }
    return Status::success();
}

// One copy of a slot without manifest, put back over the same-named file
// of the folder after keeping that file's text in the slot.
RestoreItem restoreSameName(const Context& c, RestoreItem item, const std::vector<std::string>& steps) {
    Copy backup;
    const Status read =
        c.platform.readFileOnce(under(c.slotFolder, steps, steps.size()), backup.bytes, backup.identity);
    if (!read) return leftAlone(item, englishText(read));
    const Target t{c.folder, steps};
    TargetState state;
    std::string current;
    FileIdentity seen;
    if (!readTarget(c, t, state, current, seen, item)) return item;
    if (state == TargetState::Missing) {
        return leftAlone(item, "not in " + escapedName(c.folder) +
                                   "; its copy may come from a run over another folder");
    }
    if (current == backup.bytes) {
        item.action = RestoreAction::AlreadyOriginal;
        return item;
    }
    item.keptAs = keptName(c, steps);
    return putBack(c, item, t, backup, current, state, seen);
}

// The backup copies of a slot without manifest, each by its steps below the
// slot ("sub", "a.f90"): a folder's files, then its subfolders', depth
// first. Copies kept by an earlier restore are left out, and so are the
// folders' symbolic links, never entered.
Status slotCopies(FileSystem& platform, const std::string& folder, std::vector<std::string>& steps,
                  std::vector<std::vector<std::string>>& copies) {
    std::vector<std::string> names;
    Status listed = platform.listFiles(folder, "", names);
    if (!listed) return listed;
    for (const std::string& name : names) {
        if (name.find(kKeptSuffix) != std::string::npos) continue;  // kept by an earlier restore
        steps.push_back(name);
        copies.push_back(steps);
        steps.pop_back();
    }
    listed = platform.listFolders(folder, names);
    if (!listed) return listed;
    for (const std::string& name : names) {
        steps.push_back(name);
        listed = slotCopies(platform, folder + kPathSeparator + name, steps, copies);
        steps.pop_back();
        if (!listed) return listed;
    }
    return Status::success();
}

Status slotCopies(FileSystem& platform, const std::string& slotFolder, std::vector<std::vector<std::string>>& copies) {
    std::vector<std::string> steps;
    return slotCopies(platform, slotFolder, steps, copies);
}

std::string joinedSteps(const std::vector<std::string>& steps) {
    std::string path;
    for (const std::string& step : steps) path += (path.empty() ? "" : "/") + step;
    return path;
}

// A slot from before manifests were kept, or of a run killed before it
// wrote one: only with --force, only into a folder named on the command
// line, and only over files that are there at the same place below it (a
// copy whose file is not in the folder may come from a run elsewhere).
Status restoreWithoutManifest(Context& c, const std::string& requestedFolder, RestoreReport& report) {
    if (report.unfinished && !c.force) {
        return Status::failure(Why::UnfinishedRun, c.slotFolder, escapedName(requestedFolder));
    }
    if (!c.force || requestedFolder.empty()) {
        return Status::failure(Why::NoManifest, c.slotFolder);
    }
    c.folder = c.platform.canonicalPath(requestedFolder);
    if (c.folder.empty() || c.platform.pathKind(c.folder) != PathKind::Folder) {
        return Status::failure(Why::NotAFolder, escapedName(requestedFolder));
    }
    report.folder = c.folder;
    std::vector<std::vector<std::string>> copies;
    const Status listed = slotCopies(c.platform, c.slotFolder, copies);
    if (!listed) return listed;
    if (copies.empty()) return Status::failure(Why::NoBackupCopies, c.slotFolder);
    for (const std::vector<std::string>& steps : copies) {
        RestoreItem item;
        item.path = joinedSteps(steps);
        if (!plainFileInSlot(c, steps)) {
            report.items.push_back(leftAlone(item, "a symbolic link in " + c.slotName + "; not followed"));
            continue;
        }
        report.items.push_back(restoreSameName(c, item, steps));
    }
    return Status::success();
}

Status checkSlotFolder(FileSystem& platform, const std::string& slotFolder) {
    switch (platform.pathKind(slotFolder)) {
        case PathKind::Folder:
            return Status::success();
        case PathKind::Missing:
            return Status::failure(Why::NoSuchBackupFolder, slotFolder);
        case PathKind::SymLink:
            return Status::failure(Why::SymbolicLinkNotFollowed, slotFolder);
        default:
            return Status::failure(Why::NotAFolder, slotFolder);
    }
}

}  // namespace

RestoreReport restoreSlot(const RestoreRequest& request, FileSystem& platform) {
    RestoreReport report;
    if (!isBackupSlot(request.slot)) {
        report.status = Status::failure(Why::NotASlot).at(request.slot, kBackupSlots);
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
    // A run killed before its end names no file: its copies go back by
    // name, below its own folder unless another is named.
    report.unfinished = report.hasManifest && !report.manifest.finished();
    if (report.unfinished) {
        report.status =
            restoreWithoutManifest(c, request.folder.empty() ? report.manifest.folder : request.folder, report);
    } else {
        report.status = report.hasManifest ? restoreFromManifest(c, report.manifest, request.folder, report)
                                           : restoreWithoutManifest(c, request.folder, report);
    }
    // What a run killed between writing and renaming left behind, as the
    // next run would remove it.
    if (!request.dryRun) {
        for (const std::string& folder : c.visited) platform.removeStaleTemporaries(folder);
    }
    return report;
}

int lastRecordedSlot(FileSystem& platform) {
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

std::vector<SlotListing> listBackupSlots(FileSystem& platform) {
    std::vector<SlotListing> slots;
    for (int slot = 1; slot <= kBackupSlots; ++slot) {
        SlotListing listing;
        listing.slot = slot;
        Context c{platform, slotFolderPath(platform, slot), backupFolderName(slot), {}, false, true};
        bool found = false;
        Status status = checkSlotFolder(platform, c.slotFolder);
        if (platform.pathKind(c.slotFolder) == PathKind::Missing) {
            listing.state = SlotListing::State::Empty;
        } else if (!status || !(status = platform.readRunManifest(c.slotFolder, listing.manifest, found))) {
            listing.state = SlotListing::State::Damaged;
            listing.problem = englishText(status);
        } else if (!found) {
            std::vector<std::vector<std::string>> copies;
            status = slotCopies(platform, c.slotFolder, copies);
            listing.state = !status         ? SlotListing::State::Damaged
                            : copies.empty() ? SlotListing::State::Empty
                                             : SlotListing::State::NoManifest;
            listing.problem = englishText(status);
        } else if (!listing.manifest.finished()) {
            listing.state = SlotListing::State::Unfinished;
        } else {
            // A dry run without --force: what a plain restore would leave alone.
            RestoreReport dry;
            status = restoreFromManifest(c, listing.manifest, {}, dry);
            for (const RestoreItem& item : dry.items)
                listing.changed += item.action == RestoreAction::LeftAlone;
            listing.state = !status                ? SlotListing::State::Damaged
                            : listing.changed == 0 ? SlotListing::State::Clean
                                                   : SlotListing::State::Changed;
            listing.problem = englishText(status);
        }
        slots.push_back(std::move(listing));
    }
    return slots;
}

}  // namespace codekiln
