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
#include <utility>

#include "platform/file_names.h"
#include "platform/fingerprint.h"
#include "platform/paths.h"
#include "run/chuli.h"
#include "run/read_ahead.h"
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
    FileSystem& files;
    std::string slotFolder;
    std::string slotName;  ///< "备份k", for messages
    std::string folder;    ///< canonical
    bool force;
    bool dryRun;
    /// The folders files were looked for in, where a killed run may have
    /// left its temporary files.
    mutable std::set<std::string> visited = {};
    int jobs = 1;        ///< files looked at at once
    bool ahead = false;  ///< files are being looked at ahead of their turn
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
        if (c.files.pathKind(under(c.slotFolder, steps, i)) != PathKind::Folder) return false;
    }
    return c.files.pathKind(under(c.slotFolder, steps, steps.size())) == PathKind::File;
}

enum class TargetState { Missing, File, FolderGone, Outside, Link, NotFile };

// What stands at the file's place, and whether writing there stays inside
// the target's folder; `parent` is the place's folder resolved.
TargetState inspectTarget(const Context& c, const Target& t, std::string& parent) {
    parent = c.files.canonicalPath(under(t.folder, t.steps, t.steps.size() - 1));
    if (parent.empty()) return TargetState::FolderGone;
    if (!isSameOrBelow(parent, t.folder)) return TargetState::Outside;
    const std::string path = t.path();
    switch (c.files.pathKind(path)) {
        case PathKind::Missing:
            return TargetState::Missing;
        case PathKind::File:
            return TargetState::File;
        case PathKind::SymLink: {
            // A link where the run wrote a file was put there after the run:
            // writing through it would overwrite whatever it leads to.
            const std::string target = c.files.canonicalPath(path);
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
    for (int n = 2; c.files.pathKind(name) != PathKind::Missing; ++n)
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
        const Status kept = c.files.writeBackup(item.keptAs, current, read);
        if (!kept) return leftAlone(item, "its current text cannot be kept: " + englishText(kept));
    }
    const Status written = state == TargetState::Missing
                               ? c.files.createFile(t.path(), backup.bytes, backup.identity)
                               : c.files.restoreFile(t.path(), backup.bytes, read);
    if (!written) return leftAlone(item, englishText(written));
    return item;
}

// A file that is still one inode with its backup copy (a run stopped after
// linking the copy and before replacing the file) gets its own inode back,
// so that a rewrite of either never reaches the other.
RestoreItem alreadyOriginal(const Context& c, RestoreItem item, const Target& t, const Copy& backup,
                            FileIdentity read) {
    item.action = RestoreAction::AlreadyOriginal;
    if (c.dryRun || read.device != backup.identity.device || read.inode != backup.identity.inode ||
        read.links < 2)
        return item;
    read.links -= 1;  // the copy's name is not one of the file's own
    const Status split = c.files.restoreFile(t.path(), backup.bytes, read);
    return split ? item : leftAlone(item, englishText(split));
}

// What a file's turn found out before changing anything: all of its
// looking (the backup copy and the file read and compared), which can thus
// be done ahead of its turn on another thread. `item` is final unless
// `due` says the copy goes back.
struct Look {
    RestoreItem item;
    bool due = false;   ///< the copy goes back at the file's turn
    bool keep = false;  ///< after the file's current text is kept in the slot
    TargetState state = TargetState::Missing;
    Copy backup;
    std::string current;
    FileIdentity seen;      ///< the file as read
    bool lookedIn = false;  ///< the file's folder was looked in
    // What the look rests on, for telling whether an earlier file's turn
    // wrote over it: the copy and the file by resolved folder and name
    // (set only while looking ahead), which of them were read, and whether
    // the file's place is a symbolic link (whose end a write may create).
    std::string copyKey, targetKey;
    bool copyRead = false, targetRead = false, throughLink = false;
};

std::string keyOf(const Context& c, const std::string& folder, const std::string& name) {
    const std::string resolved = c.files.canonicalPath(folder);
    return resolved.empty() ? std::string() : joinPath(resolved, name);
}

// Checks shared by both kinds of slot: the file's place, and its current
// bytes when it is there. Sets `look.item` and returns false when the file
// must be left alone whatever --force says.
bool lookAtTarget(const Context& c, const Target& t, Look& look) {
    look.lookedIn = true;
    std::string parent;
    look.state = inspectTarget(c, t, parent);
    if (c.ahead && !parent.empty()) look.targetKey = joinPath(parent, t.steps.back());
    RestoreItem& item = look.item;
    switch (look.state) {
        case TargetState::FolderGone:
            item = leftAlone(item, "its folder is gone");
            return false;
        case TargetState::Outside:
            look.throughLink = !parent.empty() && isSameOrBelow(parent, t.folder);
            item = leftAlone(item, "a symbolic link out of " + escapedName(t.folder) + "; not followed");
            return false;
        case TargetState::Link:
            look.throughLink = true;
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
    const Status status = c.files.readFileOnce(t.path(), look.current, look.seen);
    look.targetRead = true;
    if (!status) item = leftAlone(item, englishText(status));
    return static_cast<bool>(status);
}

// Notes where the backup copy at `steps` of the slot lies, before anything
// is looked at there (a copy missing now may be there at the file's turn).
void copyAt(const Context& c, const std::vector<std::string>& steps, Look& look) {
    if (c.ahead) look.copyKey = keyOf(c, under(c.slotFolder, steps, steps.size() - 1), steps.back());
}

// Reads the backup copy at `steps` of the slot.
Status readCopy(const Context& c, const std::vector<std::string>& steps, Look& look) {
    look.copyRead = true;
    return c.files.readFileOnce(under(c.slotFolder, steps, steps.size()), look.backup.bytes,
                                look.backup.identity);
}

Look finalLook(Look look, RestoreItem item) {
    look.item = std::move(item);
    look.due = false;
    return look;
}

// Whether `bytes` are those `recorded` describes, hashed as it was (bytes
// of another size are not hashed at all).
bool holds(const std::string& bytes, const Fingerprint& recorded) {
    if (static_cast<std::int64_t>(bytes.size()) != recorded.size) return false;
    return fingerprintOf(bytes, recorded.hash) == recorded;
}

Look lookAtEntry(const Context& c, const ManifestFile& entry, const std::vector<std::string>& slotSteps,
                 const Target& t) {
    Look look;
    look.item.path = entry.place.empty() ? entry.path : entry.place;
    copyAt(c, slotSteps, look);
    if (!plainFileInSlot(c, slotSteps)) {
        return finalLook(look, leftAlone(look.item, "its backup copy in " + c.slotName +
                                                        " is missing or not a plain file"));
    }
    const Status read = readCopy(c, slotSteps, look);
    if (!read) return finalLook(look, leftAlone(look.item, englishText(read)));
    if (!holds(look.backup.bytes, entry.original)) {
        return finalLook(look, leftAlone(look.item, "its backup copy in " + c.slotName +
                                                        " is no longer the one this run made"));
    }
    if (!lookAtTarget(c, t, look)) return look;
    if (look.state == TargetState::Missing) {
        if (!c.force)
            return finalLook(look, leftAlone(look.item, "deleted since the run (--force restores it)"));
        look.item.reason = "deleted since the run";
        look.due = true;
        return look;
    }
    if (holds(look.current, entry.original)) {
        look.item.action = RestoreAction::AlreadyOriginal;
        return look;
    }
    if (!holds(look.current, entry.written)) {
        if (!c.force) {
            return finalLook(look, leftAlone(look.item,
                                             "changed since the run (--force restores it, keeping its "
                                             "text in " +
                                                 c.slotName + ")"));
        }
        look.item.reason = "changed since the run";
        look.keep = true;
    }
    look.due = true;
    return look;
}

// What a restore has written so far, for telling which looks taken ahead
// may have seen those files before they were written.
class Written {
public:
    void add(const std::string& key) {
        if (!key.empty()) keys_.insert(key);
    }
    void add(const FileIdentity& file) {
        if (file.device != 0 || file.inode != 0) files_.insert({file.device, file.inode});
    }
    /// The file a look is about, by its place and, where it was read, by itself.
    void addTarget(const Look& look) {
        add(look.targetKey);
        if (look.targetRead) add(look.seen);
    }
    bool overwrote(const Look& look) const {
        if (keys_.empty() && files_.empty()) return false;
        const auto wrote = [&](const FileIdentity& f) {
            return (f.device != 0 || f.inode != 0) && files_.count({f.device, f.inode}) != 0;
        };
        return look.throughLink || (!look.copyKey.empty() && keys_.count(look.copyKey) != 0) ||
               (!look.targetKey.empty() && keys_.count(look.targetKey) != 0) ||
               (look.copyRead && wrote(look.backup.identity)) || (look.targetRead && wrote(look.seen));
    }

private:
    std::set<std::string> keys_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> files_;
};

// Put-backs over files that are there, written a batch at a time: every
// copy written beside its file, the batch synced together, then each file
// swapped, so that a restore waits for the disk once per batch rather than
// once per file. Each is reported restored when it is taken and left alone,
// with the reason, when its write fails. What still waits when a turn throws
// is not written.
class PendingPuts {
public:
    PendingPuts(const Context& c, std::vector<RestoreItem>& items) : c_(c), items_(items) {}
    PendingPuts(const PendingPuts&) = delete;
    PendingPuts& operator=(const PendingPuts&) = delete;

    /// Whether a look's put-back waits here: a plain one over the file it
    /// read, without keeping that file's text.
    bool takes(const Look& look) const {
        return !c_.dryRun && look.due && !look.keep && look.state == TargetState::File;
    }
    /// Whether a look read a file a waiting put-back replaces: it saw that
    /// file before its turn's write, and must look again once it is done.
    bool touches(const Look& look) const {
        const auto waits = [&](const FileIdentity& f) {
            for (const Put& put : puts_)
                if (put.read.device == f.device && put.read.inode == f.inode) return true;
            return false;
        };
        return !puts_.empty() &&
               ((look.targetRead && waits(look.seen)) || (look.copyRead && waits(look.backup.identity)));
    }
    /// Takes the put-back of the item about to be added to the items.
    void add(const std::string& path, std::string bytes, const FileIdentity& read) {
        bytes_ += bytes.size();
        puts_.push_back(Put{items_.size(), path, std::move(bytes), read});
    }
    bool full() const { return puts_.size() >= kFiles || bytes_ >= kBytes; }
    /// Writes every put-back waiting.
    void flush() {
        if (puts_.empty()) return;
        std::vector<BatchReplacement> batch(puts_.size());
        for (std::size_t k = 0; k < puts_.size(); ++k)
            batch[k] = {puts_[k].path, &puts_[k].bytes, puts_[k].read, {}};
        c_.files.restoreFiles(batch);
        for (std::size_t k = 0; k < puts_.size(); ++k) {
            if (!batch[k].status)
                items_[puts_[k].item] = leftAlone(items_[puts_[k].item], englishText(batch[k].status));
        }
        puts_.clear();
        bytes_ = 0;
    }

private:
    static constexpr std::size_t kFiles = 64;
    static constexpr std::size_t kBytes = std::size_t{32} << 20;
    struct Put {
        std::size_t item;  ///< its place in the items
        std::string path;
        std::string bytes;
        FileIdentity read;
    };
    const Context& c_;
    std::vector<RestoreItem>& items_;
    std::vector<Put> puts_;
    std::size_t bytes_ = 0;
};

// A file's turn: the copy put back where its look says so. `written`
// (while looking ahead) learns what is written; `later` takes the put-backs
// it can write a batch at a time.
RestoreItem commitLook(const Context& c, Look& look, const Target& t,
                       const std::vector<std::string>& slotSteps, Written* written, PendingPuts& later) {
    if (look.lookedIn) c.visited.insert(under(t.folder, t.steps, t.steps.size() - 1));
    if (!look.due) {
        if (look.item.action != RestoreAction::AlreadyOriginal) return look.item;
        if (written && !c.dryRun) written->addTarget(look);
        return alreadyOriginal(c, look.item, t, look.backup, look.seen);
    }
    if (look.keep) look.item.keptAs = keptName(c, slotSteps);
    if (written && !c.dryRun) {
        written->addTarget(look);
        if (!look.item.keptAs.empty()) {
            const std::string folder = parentOf(look.item.keptAs);
            std::string name = look.item.keptAs.substr(folder.size());
            while (!name.empty() && isPathSeparator(name.front())) name.erase(0, 1);
            written->add(keyOf(c, folder, name));
        }
    }
    if (later.takes(look)) {
        look.item.action = RestoreAction::Restored;
        later.add(t.path(), std::move(look.backup.bytes), look.seen);
        return look.item;
    }
    return putBack(c, look.item, t, look.backup, look.current, look.state, look.seen);
}

// Takes the files' turns 0 .. count-1 in order, adding what each did to
// `items`. With several jobs, workers look at the files ahead of their
// turn; a look that may have seen a file an earlier turn has written since
// is taken again at its turn, so every turn acts on what one job would have
// seen. Plain put-backs wait to be written a batch at a time; every other
// turn, and a look at a file one of them replaces, comes after they are
// written.
template <class LookAt, class Commit>
void inTurn(Context& c, std::size_t count, std::vector<RestoreItem>& items, const LookAt& lookAt,
            const Commit& commit) {
    std::unique_ptr<ReadAhead<Look>> ahead;
    c.ahead = c.jobs > 1 && count > 1 && c.files.concurrentReads();
    if (c.ahead) {
        ahead = std::make_unique<ReadAhead<Look>>(count, c.jobs, 4 * static_cast<std::size_t>(c.jobs),
                                                  [&](std::size_t i) { return lookAt(i); });
    }
    Written written;
    PendingPuts later(c, items);
    for (std::size_t i = 0; i < count; ++i) {
        Look look = ahead ? ahead->take(i) : lookAt(i);
        if ((ahead && written.overwrote(look)) || later.touches(look)) {
            later.flush();
            look = lookAt(i);
        }
        if (!later.takes(look)) later.flush();
        items.push_back(commit(i, look, ahead ? &written : nullptr, later));
        if (later.full()) later.flush();
    }
    later.flush();
    if (ahead) ahead->stop();
    c.ahead = false;
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
    c.folder = c.files.canonicalPath(m.folder);
    if (needsFolder && (c.folder.empty() || c.files.pathKind(c.folder) != PathKind::Folder)) {
        return Status::failure(Why::RunFolderGone, escapedName(m.folder));
    }
    if (needsFolder && !isSamePath(c.folder, m.folder)) {
        return refused(
            Status::failure(Why::FolderLeadsElsewhere, escapedName(m.folder), escapedName(c.folder)));
    }
    if (!needsFolder) c.folder = m.folder;
    if (!requestedFolder.empty() && !isSamePath(c.files.canonicalPath(requestedFolder), c.folder)) {
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
    std::vector<std::size_t> formatted;
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (m.files[i].end == FileEnd::Formatted) formatted.push_back(i);
    }
    inTurn(
        c, formatted.size(), report.items,
        [&](std::size_t k) {
            const std::size_t i = formatted[k];
            return lookAtEntry(c, m.files[i], steps[i], targets[i]);
        },
        [&](std::size_t k, Look& look, Written* written, PendingPuts& later) {
            const std::size_t i = formatted[k];
            return commitLook(c, look, targets[i], steps[i], written, later);
        });
    return Status::success();
}

std::string joinedSteps(const std::vector<std::string>& steps) {
    std::string path;
    for (const std::string& step : steps) path += (path.empty() ? "" : "/") + step;
    return path;
}

// One copy of a slot without manifest, to be put back over the same-named
// file of the folder after keeping that file's text in the slot.
Look lookAtSameName(const Context& c, const std::vector<std::string>& steps) {
    Look look;
    look.item.path = joinedSteps(steps);
    copyAt(c, steps, look);
    if (!plainFileInSlot(c, steps)) {
        return finalLook(look, leftAlone(look.item, "a symbolic link in " + c.slotName + "; not followed"));
    }
    const Status read = readCopy(c, steps, look);
    if (!read) return finalLook(look, leftAlone(look.item, englishText(read)));
    if (!lookAtTarget(c, Target{c.folder, steps}, look)) return look;
    if (look.state == TargetState::Missing) {
        return finalLook(look,
                         leftAlone(look.item, "not in " + escapedName(c.folder) +
                                                  "; its copy may come from a run over another folder"));
    }
    if (look.current == look.backup.bytes) {
        look.item.action = RestoreAction::AlreadyOriginal;
        return look;
    }
    look.keep = true;
    look.due = true;
    return look;
}

// The backup copies of a slot without manifest, each by its steps below the
// slot ("sub", "a.f90"): a folder's files, then its subfolders', depth
// first. Copies kept by an earlier restore are left out, and so are the
// folders' symbolic links, never entered.
Status slotCopies(FileSystem& files, const std::string& folder, std::vector<std::string>& steps,
                  std::vector<std::vector<std::string>>& copies) {
    std::vector<std::string> names;
    Status listed = files.listFiles(folder, "", names);
    if (!listed) return listed;
    for (const std::string& name : names) {
        if (name.find(kKeptSuffix) != std::string::npos) continue;  // kept by an earlier restore
        // The run's own records, which a listing shows where a leading dot
        // does not hide a name (Windows).
        if (name == kRunManifestName || name == kRunJournalName) continue;
        steps.push_back(name);
        copies.push_back(steps);
        steps.pop_back();
    }
    listed = files.listFolders(folder, names);
    if (!listed) return listed;
    for (const std::string& name : names) {
        steps.push_back(name);
        listed = slotCopies(files, folder + kPathSeparator + name, steps, copies);
        steps.pop_back();
        if (!listed) return listed;
    }
    return Status::success();
}

Status slotCopies(FileSystem& files, const std::string& slotFolder, std::vector<std::vector<std::string>>& copies) {
    std::vector<std::string> steps;
    return slotCopies(files, slotFolder, steps, copies);
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
    c.folder = c.files.canonicalPath(requestedFolder);
    if (c.folder.empty() || c.files.pathKind(c.folder) != PathKind::Folder) {
        return Status::failure(Why::NotAFolder, escapedName(requestedFolder));
    }
    report.folder = c.folder;
    std::vector<std::vector<std::string>> copies;
    const Status listed = slotCopies(c.files, c.slotFolder, copies);
    if (!listed) return listed;
    if (copies.empty()) return Status::failure(Why::NoBackupCopies, c.slotFolder);
    inTurn(
        c, copies.size(), report.items, [&](std::size_t i) { return lookAtSameName(c, copies[i]); },
        [&](std::size_t i, Look& look, Written* written, PendingPuts& later) {
            return commitLook(c, look, Target{c.folder, copies[i]}, copies[i], written, later);
        });
    return Status::success();
}

// The copies a killed run had linked but not yet named in its journal: such
// a file is still one inode with its copy and holds its original, and gets
// its own inode back. Any other copy not named is an earlier run's.
void splitUnnamedLinks(Context& c, const std::vector<ManifestFile>& named, RestoreReport& report) {
    std::set<std::string> names;
    for (const ManifestFile& f : named) names.insert(f.path);
    std::vector<std::vector<std::string>> copies;
    if (!slotCopies(c.files, c.slotFolder, copies)) return;
    for (const std::vector<std::string>& steps : copies) {
        Look look;
        look.item.path = joinedSteps(steps);
        FileIdentity copy;
        if (names.count(look.item.path) != 0 || !plainFileInSlot(c, steps) ||
            !c.files.statFile(under(c.slotFolder, steps, steps.size()), copy) || copy.links < 2)
            continue;
        const Target target{c.folder, steps};
        if (!readCopy(c, steps, look) || !lookAtTarget(c, target, look) || look.state != TargetState::File ||
            look.seen.device != look.backup.identity.device || look.seen.inode != look.backup.identity.inode)
            continue;
        report.items.push_back(alreadyOriginal(c, look.item, target, look.backup, look.seen));
    }
}

// A run killed before its end that kept a journal: the files the journal
// names, each put back as from a whole manifest (their fingerprints are in
// it), so with the same checks and the same --force. Copies an earlier run
// left in the slot are not this run's and stay where they are; a run killed
// before its journal named a file replaced none.
Status restoreFromJournal(Context& c, const std::string& requestedFolder, RestoreReport& report) {
    bool found = false;
    const Status read = c.files.readRunJournal(c.slotFolder, report.manifest.startedMs, report.manifest.files, found);
    if (!read) return read;
    const Status restored = restoreFromManifest(c, report.manifest, requestedFolder, report);
    if (restored) splitUnnamedLinks(c, report.manifest.files, report);
    return restored;
}

Status checkSlotFolder(FileSystem& files, const std::string& slotFolder) {
    switch (files.pathKind(slotFolder)) {
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

RestoreReport restoreSlot(const RestoreRequest& request, FileSystem& files) {
    RestoreReport report;
    if (!isBackupSlot(request.slot)) {
        report.status = Status::failure(Why::NotASlot).at(request.slot, kBackupSlots);
        return report;
    }
    Context c{files,
              slotFolderPath(files, request.slot),
              backupFolderName(request.slot),
              {},
              request.force,
              request.dryRun};
    c.jobs = request.jobs > 0 ? request.jobs : defaultJobs();
    report.slotFolder = c.slotFolder;
    std::unique_ptr<RootLock> lock;
    report.status = files.lockBackupRoot(request.lockWaitMilliseconds, lock);
    if (!report.status) return report;
    report.status = checkSlotFolder(files, c.slotFolder);
    if (!report.status) return report;
    report.status = files.readRunManifest(c.slotFolder, report.manifest, report.hasManifest);
    if (!report.status) return report;
    // A run killed before its end: the files its journal names go back; a
    // run of an older program kept no journal, and its copies go back by
    // name, below its own folder unless another is named.
    report.unfinished = report.hasManifest && !report.manifest.finished();
    if (report.unfinished && report.manifest.journaled) {
        report.status = restoreFromJournal(c, request.folder, report);
    } else if (report.unfinished) {
        report.status = restoreWithoutManifest(
            c, request.folder.empty() ? report.manifest.folder : request.folder, report);
    } else {
        report.status = report.hasManifest ? restoreFromManifest(c, report.manifest, request.folder, report)
                                           : restoreWithoutManifest(c, request.folder, report);
    }
    // What a run killed between writing and renaming left behind, as the
    // next run would remove it.
    if (!request.dryRun) {
        for (const std::string& folder : c.visited) files.removeStaleTemporaries(folder);
    }
    return report;
}

int lastRecordedSlot(FileSystem& files) {
    int last = 0;
    std::int64_t newest = 0;
    for (int slot = 1; slot <= kBackupSlots; ++slot) {
        const std::string folder = slotFolderPath(files, slot);
        if (files.pathKind(folder) != PathKind::Folder) continue;
        RunManifest manifest;
        bool found = false;
        if (!files.readRunManifest(folder, manifest, found) || !found) continue;
        if (last == 0 || manifest.startedMs > newest) {
            last = slot;
            newest = manifest.startedMs;
        }
    }
    return last;
}

std::vector<SlotListing> listBackupSlots(FileSystem& files) {
    std::vector<SlotListing> slots;
    for (int slot = 1; slot <= kBackupSlots; ++slot) {
        SlotListing listing;
        listing.slot = slot;
        Context c{files, slotFolderPath(files, slot), backupFolderName(slot), {}, false, true};
        bool found = false;
        Status status = checkSlotFolder(files, c.slotFolder);
        if (files.pathKind(c.slotFolder) == PathKind::Missing) {
            listing.state = SlotListing::State::Empty;
        } else if (!status || !(status = files.readRunManifest(c.slotFolder, listing.manifest, found))) {
            listing.state = SlotListing::State::Damaged;
            listing.problem = englishText(status);
        } else if (!found) {
            std::vector<std::vector<std::string>> copies;
            status = slotCopies(files, c.slotFolder, copies);
            listing.state = !status          ? SlotListing::State::Damaged
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
