// Walking the PATHs of a command-line run. Folders' files come from the
// platform's listing, exactly as a run over one folder lists them; the walk
// adds the subfolders, in the listing's order, and the skipping rules.
#include "cli/file_walk.h"

#include "run/reason_text.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <algorithm>
#include <unordered_set>

#include "cli/path_glob.h"
#include "platform/paths.h"
#include "platform/qt_platform.h"
#include "run/backup_slots.h"

namespace codekiln {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }


// The folder a PATH names, as the walk joins names to it. A bare drive
// ("D:") stands for that drive's current folder, which a separator after it
// would turn into the drive's top: it is walked as that folder's full path.
std::string folderToWalk(const std::string& given) {
#ifdef _WIN32
    if (given.size() == 2 && given[1] == ':')
        return withoutTrailingSeparators(
            QDir::toNativeSeparators(QFileInfo(qs(given)).absoluteFilePath()).toStdString());
#endif
    return withoutTrailingSeparators(given);
}

std::string joinRelative(const std::string& prefix, const std::string& name) {
    return prefix.empty() ? name : prefix + "/" + name;
}

struct Walk {
    const WalkOptions& options;
    FileSystem& files;
    WalkResult result;
    std::unordered_set<std::string> seenFiles;    // identities
    std::unordered_set<std::string> seenFolders;  // identities, against loops
    std::unordered_set<std::string> backupFolders;

    // One PATH lists each file once by itself; only several PATHs can reach
    // a file twice, so only they pay for resolving each path.
    bool dedupe = false;

    void addFile(const std::string& path, const std::string& name) {
        if (!dedupe || seenFiles.insert(files.sameFileKey(path)).second) result.files.push_back({path, name});
    }

    // `relative` is the folder's path below the folder given ("" for that
    // one); `prefix` starts every name.
    void walkFolder(const std::string& folder, const std::string& relative, const std::string& prefix) {
        if (!seenFolders.insert(files.sameFileKey(folder)).second) return;
        std::vector<std::string> names;
        const Status listed = files.listFiles(folder, options.extension, names);
        if (!listed) {
            result.errors.push_back(englishText(listed));
            return;
        }
        for (const std::string& name : names) {
            const std::string rel = joinRelative(relative, name);
            if (anyGlobMatches(options.excludes, rel)) continue;
            addFile(joinPath(folder, name), joinRelative(prefix, rel));
        }
        if (!options.recursive) return;

        // Hidden folders and links to folders are not listed at all.
        std::vector<std::string> subfolders;
        const Status sublisted = files.listFolders(folder, subfolders);
        if (!sublisted) result.errors.push_back(englishText(sublisted));
        for (const std::string& name : subfolders) {
            const std::string path = joinPath(folder, name);
            const std::string rel = joinRelative(relative, name);
            if (anyGlobMatches(options.excludes, rel)) continue;
            if (backupFolders.count(files.sameFileKey(path)) != 0) continue;
            walkFolder(path, rel, prefix);
        }
    }
};

}  // namespace

std::string pathLabel(const std::string& path) {
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(qs(path)));
    const bool climbs = clean == ".." || clean.startsWith("../");
    if (QDir::isAbsolutePath(clean) || climbs) {
        clean = QDir::cleanPath(QFileInfo(clean).absoluteFilePath());
        clean.remove(QLatin1Char(':'));  // a drive letter becomes a folder name
        while (clean.startsWith('/')) clean.remove(0, 1);
    }
    return clean == "." ? std::string() : clean.toStdString();
}

WalkResult collectFiles(const std::vector<std::string>& paths, const WalkOptions& options,
                        FileSystem& files) {
    Walk walk{options, files, {}, {}, {}, {}};
    if (!options.backupRoot.empty()) {
        for (int k = 1; k <= kBackupSlots; ++k) {
            const std::string folder = files.sameFileKey(backupFolderPath(options.backupRoot, k));
            if (!folder.empty()) walk.backupFolders.insert(folder);
        }
    }
    const bool single = paths.size() == 1;
    walk.dedupe = !single;
    for (const std::string& given : paths) {
        if (QFileInfo(qs(given)).isDir()) {
            walk.walkFolder(folderToWalk(given), "", single ? std::string() : pathLabel(given));
            continue;
        }
        // A file named is formatted whatever its extension; the excludes
        // apply to it as typed, as pre-commit hands its files over.
        const std::string label = pathLabel(given);
        if (anyGlobMatches(options.excludes, label)) continue;
        walk.addFile(given, single ? std::string(baseNameOf(label)) : label);
    }
    return std::move(walk.result);
}

}  // namespace codekiln
