// The files of QtPlatform on POSIX systems: names are bytes, as the file
// system has them, so every operation of a run goes through posix_files;
// Qt lists a folder only where its name is UTF-8, and its listing is then
// checked against the bytes.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/file_names.h"
#include "platform/posix_files.h"
#include "platform/qt_platform.h"
#include "platform/qt_support.h"

namespace codekiln {

Status QtPlatform::listFiles(const std::string& folder, const std::string& extension,
                             std::vector<std::string>& names) {
    names.clear();
    // Qt cannot reach a folder whose name is not UTF-8 at all: such a
    // folder is listed from its bytes alone.
    const bool bytesOnly = !isUtf8Name(folder);
    QStringList entries;
    if (!bytesOnly) {
        const Status listed = qtFileNames(folder, extension, entries);
        if (!listed) return listed;
    } else {
        const std::string resolved = posixCanonicalPath(folder);
        if (resolved.empty()) return fail(folder, Why::FolderNotFound, {});
        if (posixPathKind(resolved) != PathKind::Folder) return fail(folder, Why::NotAFolder, {});
    }
    names.reserve(static_cast<std::size_t>(entries.size()));
    // A name that is not UTF-8 comes out of QDir changed (its bad bytes
    // become U+FFFD), and the changed name could be another file's. Only
    // names that stand in the folder byte for byte are kept, and the
    // undecodable names that match are added as the file system has them.
    std::vector<std::string> raw;
    const Status read = posixFolderNames(folder, raw);
    if (!read) return read;
    std::sort(raw.begin(), raw.end());
    for (const QString& entry : entries) {
        std::string name = fromQ(entry);
        if (std::binary_search(raw.begin(), raw.end(), name)) names.push_back(std::move(name));
    }
    const QRegularExpression pattern(
        QRegularExpression::wildcardToRegularExpression(QStringLiteral("*") + qs(extension)),
        QRegularExpression::CaseInsensitiveOption);
    for (const std::string& name : raw) {
        if (name.empty() || name[0] == '.' || (!bytesOnly && isUtf8Name(name))) continue;
        FileIdentity identity;
        if (!posixStatFile(folder + "/" + name, identity)) continue;
        if (pattern.match(QFile::decodeName(QByteArray::fromStdString(name))).hasMatch())
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

Status QtPlatform::listFolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    std::vector<std::string> raw;
    const Status read = posixFolderNames(folder, raw);
    if (!read) return read;
    for (std::string& name : raw) {
        if (name[0] != '.' && posixPathKind(folder + "/" + name) == PathKind::Folder)
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

// On the bytes of the name, which Qt would change where they are not UTF-8.
bool QtPlatform::folderExists(const std::string& path) {
    const std::string resolved = posixCanonicalPath(path);
    return !resolved.empty() && posixPathKind(resolved) == PathKind::Folder;
}

Status QtPlatform::createFolder(const std::string& path) { return posixCreateFolder(path); }

Status readFileBytes(const std::string& path, std::string& bytes) {
    FileIdentity identity;
    return posixReadFileOnce(path, bytes, identity);
}

Status QtPlatform::statFile(const std::string& path, FileIdentity& identity) {
    return posixStatFile(path, identity);
}

Status QtPlatform::readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    return posixReadFileOnce(path, bytes, identity);
}

Status QtPlatform::writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    return posixWriteBackup(to, bytes, of);
}

Status QtPlatform::replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return posixReplaceFile(path, bytes, read);
}

Status QtPlatform::restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    return posixRestoreFile(path, bytes, read);
}

Status QtPlatform::createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    return posixCreateFile(path, bytes, of);
}

std::string QtPlatform::canonicalPath(const std::string& path) { return posixCanonicalPath(path); }

// The resolved name as bytes: Qt would change one that is not UTF-8.
std::string QtPlatform::sameFileKey(const std::string& path) { return posixCanonicalPath(path); }

void QtPlatform::writeBackups(std::vector<BatchBackup>& backups) { posixWriteBackups(backups); }

Status appendDurably(const std::string& path, const std::string& bytes) { return posixAppendDurably(path, bytes); }

Status QtPlatform::syncFolders(const std::vector<std::string>& folders) { return posixSyncFolders(folders); }

void QtPlatform::replaceFiles(std::vector<BatchReplacement>& replacements) { posixReplaceFiles(replacements); }

void QtPlatform::restoreFiles(std::vector<BatchReplacement>& restorations) { posixRestoreFiles(restorations); }

void QtPlatform::removeStaleTemporaries(const std::string& folder) { posixRemoveStaleTemporaries(folder); }

PathKind QtPlatform::pathKind(const std::string& path) {
    return posixPathKind(path);  // the name as bytes, as every file operation of a run takes it
}

bool keepsNoBackups(const QString& folder) { return isSystemProgramFolder(fromQ(QDir::cleanPath(folder))); }

void makeFolderPath(const std::string& path) { posixMakeFolders(path); }

const char* desktopFolderOpener() {
#if defined(Q_OS_MACOS)
    return "open";
#else
    return "xdg-open";
#endif
}

Status runFolderOpener(const std::string& program, const std::string& folder) {
    // The folder goes as one argument, so blanks in it need no quoting.
    const QStringList arguments{QDir::toNativeSeparators(qs(folder))};
    // The opener hands the folder to the file manager and ends, saying by
    // its exit code whether it could; one that is still running after a
    // moment is the file manager itself, and is left to run, past the end
    // of this program too.
    constexpr int kOpenerWaitMs = 2000;
    auto* opener = new QProcess;
    opener->setProgram(qs(program));
    opener->setArguments(arguments);
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->start();
    if (!opener->waitForStarted()) {
        delete opener;
        return Status::failure(Why::CannotStart, escapedName(folder), program);
    }
    if (!opener->waitForFinished(kOpenerWaitMs)) {
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
        return Status::success();
    }
    const bool opened = opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
    const int exitCode = opener->exitCode();
    delete opener;
    if (opened) return Status::success();
    return Status::failure(Why::OpenerFailed, escapedName(folder), program).at(exitCode);
}

}  // namespace codekiln
