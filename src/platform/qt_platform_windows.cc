// The files of QtPlatform on Windows: Qt's operations, with the identity Qt
// can see (size and time).
#include <io.h>
#include <windows.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "platform/file_names.h"
#include "platform/qt_platform.h"
#include "platform/qt_support.h"

namespace codekiln {

Status QtPlatform::listFiles(const std::string& folder, const std::string& extension,
                             std::vector<std::string>& names) {
    names.clear();
    QStringList entries;
    const Status listed = qtFileNames(folder, extension, entries);
    if (!listed) return listed;
    names.reserve(static_cast<std::size_t>(entries.size()));
    for (const QString& entry : entries) names.push_back(fromQ(entry));
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

Status QtPlatform::listFolders(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    const QFileInfo info(qs(folder));
    if (!info.isDir()) return fail(folder, Why::NotAFolder, {});
    QDir dir(qs(folder));
    dir.setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    dir.setSorting(QDir::Unsorted);
    for (const QString& entry : dir.entryList()) names.push_back(fromQ(entry));
    std::sort(names.begin(), names.end(), listingOrderLess);
    return Status::success();
}

bool QtPlatform::folderExists(const std::string& path) { return QFileInfo(qs(path)).isDir(); }

Status QtPlatform::createFolder(const std::string& path) {
    if (QDir().mkdir(qs(path))) return Status::success();
    return fail(path, Why::CannotCreateFolder, {});
}

Status readFileBytes(const std::string& path, std::string& bytes) {
    QFile in(qs(path));
    if (!in.open(QIODevice::ReadOnly)) return fail(path, Why::CannotRead, in.errorString());
    bytes.clear();
    const qint64 expected = in.size();
    if (expected > 0) bytes.reserve(static_cast<std::size_t>(expected));
    // Through a small buffer, so that the text is not zero-filled before it is read.
    std::vector<char> chunk(65536);
    for (;;) {
        const qint64 n = in.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (n < 0) return fail(path, Why::CannotRead, in.errorString());
        if (n == 0) break;
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return Status::success();
}

Status QtPlatform::statFile(const std::string& path, FileIdentity& identity) {
    const QFileInfo info(qs(path));
    if (!info.exists()) return fail(path, Why::CannotRead, QStringLiteral("no such file"));
    if (!info.isFile()) return fail(path, Why::CannotRead, QStringLiteral("not a regular file"));
    identity = FileIdentity{};
    identity.size = info.size();
    identity.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return Status::success();
}

Status QtPlatform::readFileOnce(const std::string& path, std::string& bytes, FileIdentity& identity) {
    const Status seen = statFile(path, identity);
    if (!seen) return seen;
    return readFile(path, bytes);
}

// The backup takes the bytes read; Windows has no permission bits to give it.
Status QtPlatform::writeBackup(const std::string& to, const std::string& bytes, const FileIdentity& of) {
    (void)of;
    return writeFile(to, bytes);
}

// Only while nothing has taken the name; the check and the write are two
// steps here.
Status QtPlatform::createFile(const std::string& path, const std::string& bytes, const FileIdentity& of) {
    (void)of;
    if (pathKind(path) != PathKind::Missing) return Status::failure(Why::MadeDuringRestore, path);
    return writeFile(path, bytes);
}

// A file deleted, replaced or written to since it was read is left as the
// other program left it; a rewrite never brings a deleted file back.
Status QtPlatform::replaceFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    FileIdentity now;
    if (!statFile(path, now) || !now.unchangedAs(read))
        return Status::failure(Why::ChangedDuringFormatting, escapedName(path));
    return writeFile(path, bytes);
}

// Windows keeps no owner a rewrite could lose here; the check is the run's.
Status QtPlatform::restoreFile(const std::string& path, const std::string& bytes, const FileIdentity& read) {
    FileIdentity now;
    if (!statFile(path, now) || !now.unchangedAs(read))
        return Status::failure(Why::ChangedDuringRestore, escapedName(path));
    return writeFile(path, bytes);
}

std::string QtPlatform::canonicalPath(const std::string& path) {
    return fromQ(QFileInfo(qs(path)).canonicalFilePath());
}

// The volume and file number; the resolved path in lower case when those
// cannot be read.
std::string QtPlatform::sameFileKey(const std::string& path) {
    const QString resolved = QFileInfo(qs(path)).canonicalFilePath();
    if (resolved.isEmpty()) return {};
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(resolved).utf16()),
                                      0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool known = GetFileInformationByHandle(handle, &info) != 0;
        CloseHandle(handle);
        if (known)
            return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
                   std::to_string(info.nFileIndexLow);
    }
    return resolved.toCaseFolded().toStdString();
}

// One file at a time, as writeBackup and replaceFile write them: always a
// copy, each one flushed as it is written. Called as this class's own, as
// the POSIX batch is, so that a subclass sees a batch once.
void QtPlatform::writeBackups(std::vector<BatchBackup>& backups) {
    for (BatchBackup& b : backups) {
        b.linked = false;
        b.status = QtPlatform::writeBackup(b.to, *b.bytes, b.read);
    }
}

Status appendDurably(const std::string& path, const std::string& bytes) {
    QFile file(qs(path));
    if (QFileInfo(file).isSymLink() || !file.exists() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(path, Why::CannotWrite, file.errorString());
    const qint64 size = static_cast<qint64>(bytes.size());
    const bool written = file.write(bytes.data(), size) == size && file.flush() &&
                         FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))) != 0;
    if (!written) return fail(path, Why::CannotWrite, file.errorString());
    return Status::success();
}

Status QtPlatform::syncFolders(const std::vector<std::string>& folders) {
    (void)folders;
    return Status::success();
}

void QtPlatform::replaceFiles(std::vector<BatchReplacement>& replacements) {
    for (BatchReplacement& r : replacements) r.status = QtPlatform::replaceFile(r.path, *r.bytes, r.read);
}

void QtPlatform::removeStaleTemporaries(const std::string& folder) { (void)folder; }

PathKind QtPlatform::pathKind(const std::string& path) {
    const QFileInfo info(qs(path));
    if (info.isSymLink()) return PathKind::SymLink;  // also a dangling one, which exists() denies
    if (!info.exists()) return PathKind::Missing;
    if (info.isDir()) return PathKind::Folder;
    if (info.isFile()) return PathKind::File;
    return PathKind::Other;
}

// Windows has no system folders of that kind: a program folder that can be
// written keeps the backups.
bool keepsNoBackups(const QString& folder) {
    (void)folder;
    return false;
}

void makeFolderPath(const std::string& path) { QDir().mkpath(qs(path)); }

const char* desktopFolderOpener() { return "explorer.exe"; }

Status runFolderOpener(const std::string& program, const std::string& folder) {
    // The folder goes as one argument, so blanks in it need no quoting.
    const QStringList arguments{QDir::toNativeSeparators(qs(folder))};
    // explorer.exe's exit code says nothing about the folder: that it
    // started is all there is to know.
    if (QProcess::startDetached(qs(program), arguments)) return Status::success();
    return Status::failure(Why::CannotStart, escapedName(folder), program);
}

}  // namespace codekiln
